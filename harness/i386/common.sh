# Sourced by the scripts of harness/i386: where the emulated machine's image
# is cached, and how it boots.
#
# The image is named by a hash of the files it is made from, so a change to
# any of them makes a new one; older images are removed when it is made.
# OSTRIVO_I386_CACHE (default ~/.cache/ostrivo-i386) holds them.
i386_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
i386_recipe=("$i386_here/image" "$i386_here/guest-init" "$i386_here/../wine/prefix-setup"
             "$i386_here/../wine/wm-state.c")
i386_cache=${OSTRIVO_I386_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ostrivo-i386}
i386_image_dir=$i386_cache/$(cat "${i386_recipe[@]}" | sha256sum | cut -c1-16)

# See time-scale.
i386_time_scale=$(grep -x '[0-9]*' "$i386_here/time-scale")

i386_say() { echo "i386: $*" >&2; }
i386_now() { date +%s.%N; }
i386_since() { awk -v a="$1" -v b="$(i386_now)" 'BEGIN { printf "%.1f", b - a }'; }

# i386_boot SHARE [TREE] [qemu options...]: boots the image with SHARE as the
# 9p share "share" (its job.sh is what the machine does) and, when TREE is
# not empty, TREE read-only as "tree". The console goes to SHARE/console.log.
# -cpu max alone makes every 32-bit Wine process crash (QEMU 7.2's SMAP
# emulation faults at IRET), hence -smap. On a busy host the emulated timer
# can miss the kernel's boot-time check, which then panics ("IO-APIC + timer
# doesn't work", seen at a load of 12); no_timer_check skips that check.
i386_boot() {
    local share=$1 tree=$2; shift 2
    local trees=()
    [ -n "$tree" ] && trees=(-virtfs "local,path=$tree,mount_tag=tree,security_model=none,readonly=on,id=tree")
    qemu-system-i386 \
        -machine pc -accel tcg,thread=multi -cpu max,-smap \
        -smp "${OSTRIVO_I386_SMP:-2}" -m "${OSTRIVO_I386_MEM:-2048}" \
        -kernel "$i386_image_dir/vmlinuz" -initrd "$i386_image_dir/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 init=/usr/local/sbin/ostrivo-init panic=1 mitigations=off no_timer_check quiet" \
        -drive "file=$i386_image_dir/base.img,if=virtio,format=raw,cache=unsafe" \
        -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
        "${trees[@]}" -nic none -nographic -no-reboot "$@" \
        </dev/null >"$share/console.log" 2>&1
}

# The start of every job: the display, and the prefix the image holds.
i386_job_prologue() {
    cat <<'JOB'
t() { echo "[$(cut -d' ' -f1 /proc/uptime)s] $*"; }
export WINEPREFIX=/root/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:1
for i in $(seq 1200); do [ -S /tmp/.X11-unix/X1 ] && break; sleep 0.1; done  # a bound for a hang
t "guest: display up"
JOB
}
