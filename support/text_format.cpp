#include "support/text_format.h"

#include <cstdint>

namespace {

constexpr int kMaxCount = 0x3FFFFFF0;  // larger texts cannot be allocated anyway
constexpr wchar_t kNullText[] = L"(null)";
constexpr int kNullTextLength = 6;

enum class Size { Default, Narrow, Wide, Long64 };
enum class Kind { None, WideChar, NarrowChar, WideText, NarrowText, Signed, Unsigned, Pointer, Count, Float };

struct Conversion {
    bool left = false, plus = false, blank = false, zero = false, alternate = false;
    int width = 0;
    int precision = 0;
    bool hasPrecision = false;
    Size size = Size::Default;
    wchar_t type = 0;
    Kind kind = Kind::None;
};

struct Argument {
    int character = 0;
    const void* pointer = nullptr;
    uint64_t magnitude = 0;
    bool negative = false;
};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

const wchar_t* ReadNumber(const wchar_t* p, int* value)
{
    int64_t n = 0;
    for (; IsDigit(*p); ++p) {
        n = n * 10 + (*p - L'0');
        if (n > kMaxCount) n = kMaxCount;
    }
    *value = static_cast<int>(n);
    return p;
}

void TakeWidth(Conversion* c, int value)
{
    // A negative width from the arguments means left alignment, as in printf.
    if (value < 0) {
        c->left = true;
        value = value < -kMaxCount ? kMaxCount : -value;
    }
    c->width = value > kMaxCount ? kMaxCount : value;
}

Kind Classify(wchar_t type, Size size)
{
    const bool is64 = size == Size::Long64;
    switch (type) {
    case L'c': return is64 ? Kind::None : size == Size::Narrow ? Kind::NarrowChar : Kind::WideChar;
    case L'C': return is64 ? Kind::None : size == Size::Wide ? Kind::WideChar : Kind::NarrowChar;
    case L's': return is64 ? Kind::None : size == Size::Narrow ? Kind::NarrowText : Kind::WideText;
    case L'S': return is64 ? Kind::None : size == Size::Wide ? Kind::WideText : Kind::NarrowText;
    case L'd': case L'i': return Kind::Signed;
    case L'u': case L'o': case L'x': case L'X': return Kind::Unsigned;
    case L'p': return Kind::Pointer;
    case L'n': return Kind::Count;
    case L'e': case L'E': case L'f': case L'g': case L'G': return Kind::Float;
    default: return Kind::None;
    }
}

// Reads one conversion that starts after its "%", with the "*" values it
// takes from the arguments. Returns the position after it.
const wchar_t* ParseConversion(const wchar_t* p, va_list* args, Conversion* c)
{
    for (;; ++p) {
        if (*p == L'#') c->alternate = true;
        else if (*p == L'*') TakeWidth(c, va_arg(*args, int));
        else if (*p == L'-') c->left = true;
        else if (*p == L'+') c->plus = true;
        else if (*p == L'0') c->zero = true;
        else if (*p == L' ') c->blank = true;
        else break;
    }
    if (c->width == 0) {
        int width = 0;
        p = ReadNumber(p, &width);
        c->width = width;
    }
    if (*p == L'.') {
        ++p;
        c->hasPrecision = true;
        if (*p == L'*') {
            int precision = va_arg(*args, int);
            ++p;
            c->hasPrecision = precision >= 0;  // negative: as if none was given
            c->precision = precision > 0 ? (precision > kMaxCount ? kMaxCount : precision) : 0;
        } else {
            p = ReadNumber(p, &c->precision);
        }
    }
    if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
        c->size = Size::Long64;
        p += 3;
    } else if (*p == L'h') {
        c->size = Size::Narrow;
        ++p;
    } else if (*p == L'l') {
        c->size = Size::Wide;
        ++p;
    } else if (*p == L'F' || *p == L'N' || *p == L'L') {
        ++p;
    }
    c->type = *p;
    c->kind = Classify(*p, c->size);
    return *p ? p + 1 : p;
}

Argument FetchArgument(const Conversion& c, va_list* args)
{
    Argument a;
    switch (c.kind) {
    case Kind::WideChar:
    case Kind::NarrowChar:
        a.character = va_arg(*args, int);
        break;
    case Kind::WideText:
    case Kind::NarrowText:
    case Kind::Count:
        a.pointer = va_arg(*args, const void*);
        break;
    case Kind::Pointer:
        a.magnitude = reinterpret_cast<uintptr_t>(va_arg(*args, const void*));
        break;
    case Kind::Signed: {
        int64_t v = c.size == Size::Long64 ? va_arg(*args, int64_t) : va_arg(*args, int);
        if (c.size == Size::Narrow) v = static_cast<short>(v);
        a.negative = v < 0;
        a.magnitude = a.negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        break;
    }
    case Kind::Unsigned: {
        uint64_t v = c.size == Size::Long64 ? va_arg(*args, uint64_t) : va_arg(*args, unsigned int);
        if (c.size == Size::Narrow) v = static_cast<unsigned short>(v);
        a.magnitude = v;
        break;
    }
    case Kind::None:
    case Kind::Float:
        break;
    }
    return a;
}

int64_t TextLength(const Conversion& c, const Argument& a)
{
    if (!a.pointer) return kNullTextLength;
    if (c.kind == Kind::NarrowText) return lstrlenA(static_cast<const char*>(a.pointer));
    return lstrlenW(static_cast<const wchar_t*>(a.pointer));
}

int64_t Larger(int64_t a, int64_t b) { return a > b ? a : b; }

int64_t EstimateItem(const Conversion& c, const Argument& a)
{
    switch (c.kind) {
    case Kind::WideChar:
    case Kind::NarrowChar:
        return Larger(2, c.width);
    case Kind::WideText:
    case Kind::NarrowText: {
        // Cut to the precision before widening to the width: "%5.3s" is five wide.
        int64_t n = TextLength(c, a);
        if (c.precision != 0 && n > c.precision) n = c.precision;
        return Larger(Larger(n, 1), c.width);
    }
    case Kind::Signed:
    case Kind::Unsigned:
    case Kind::Pointer:
        // A sign comes on top of the precision's digits.
        return Larger(Larger(32, int64_t(c.width) + c.precision), int64_t(c.precision) + 1);
    default:
        return 0;
    }
}

}  // namespace

bool EstimateFormattedLength(const wchar_t* format, va_list args, int* units)
{
    va_list cursor;
    va_copy(cursor, args);
    int64_t total = 0;
    const wchar_t* p = format;
    while (*p && total <= kMaxCount) {
        if (*p != L'%' || p[1] == L'%') {
            const wchar_t* next = *p == L'%' ? p + 1 : CharNextW(p);
            total += next - p;
            p = *p == L'%' ? p + 2 : next;
            continue;
        }
        Conversion c;
        p = ParseConversion(p + 1, &cursor, &c);
        if (c.kind == Kind::Float) {
            OutputDebugStringW(L"Floating point (%%e, %%f, %%g, and %%G) is not supported by the CString class.");
            va_end(cursor);
            return false;
        }
        Argument a = FetchArgument(c, &cursor);
        total += EstimateItem(c, a) + (c.alternate ? 2 : 0);
    }
    va_end(cursor);
    if (total > kMaxCount) return false;
    *units = static_cast<int>(total);
    return true;
}

namespace {

class Sink {
public:
    Sink(wchar_t* out, int room) : out(out), room(room) {}
    void Put(wchar_t c)
    {
        if (written < room) out[written++] = c;
    }
    void Repeat(wchar_t c, int64_t n)
    {
        for (; n > 0 && written < room; --n) out[written++] = c;
    }
    void Put(const wchar_t* text, int64_t n)
    {
        for (int64_t i = 0; i < n; ++i) Put(text[i]);
    }
    int Written() const { return written; }
    void Terminate() { out[written] = 0; }

private:
    wchar_t* out;
    int room;
    int written = 0;
};

void PutPadded(Sink* sink, const Conversion& c, const wchar_t* text, int64_t n)
{
    if (!c.left) sink->Repeat(L' ', c.width - n);
    sink->Put(text, n);
    if (c.left) sink->Repeat(L' ', c.width - n);
}

void PutCharacter(Sink* sink, const Conversion& c, const Argument& a)
{
    wchar_t ch = static_cast<wchar_t>(a.character);
    if (c.kind == Kind::NarrowChar) {
        char byte = static_cast<char>(a.character);
        if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &ch, 1) != 1) ch = static_cast<unsigned char>(byte);
    }
    PutPadded(sink, c, &ch, 1);
}

void PutWideText(Sink* sink, const Conversion& c, const wchar_t* text)
{
    int64_t n = lstrlenW(text);
    if (c.hasPrecision && n > c.precision) n = c.precision;
    PutPadded(sink, c, text, n);
}

void PutNarrowText(Sink* sink, const Conversion& c, const char* text)
{
    int bytes = lstrlenA(text);
    if (bytes == 0) return PutWideText(sink, c, L"");
    // A code page never turns n bytes into more than n units.
    HANDLE heap = GetProcessHeap();
    wchar_t* wide = static_cast<wchar_t*>(HeapAlloc(heap, 0, bytes * sizeof(wchar_t) + sizeof(wchar_t)));
    if (!wide) return;
    int units = MultiByteToWideChar(CP_ACP, 0, text, bytes, wide, bytes);
    wide[units > 0 ? units : 0] = 0;
    PutWideText(sink, c, wide);
    HeapFree(heap, 0, wide);
}

void PutText(Sink* sink, const Conversion& c, const Argument& a)
{
    if (!a.pointer) return PutWideText(sink, c, kNullText);
    if (c.kind == Kind::NarrowText) return PutNarrowText(sink, c, static_cast<const char*>(a.pointer));
    PutWideText(sink, c, static_cast<const wchar_t*>(a.pointer));
}

// Digits of the magnitude, most significant first; returns their number.
int Digits(uint64_t value, unsigned base, bool upper, wchar_t* out)
{
    const wchar_t* symbols = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    wchar_t reversed[24];
    int n = 0;
    do {
        reversed[n++] = symbols[value % base];
        value /= base;
    } while (value);
    for (int i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    return n;
}

void PutInteger(Sink* sink, Conversion c, const Argument& a)
{
    if (c.kind == Kind::Pointer) {
        c.type = L'X';
        c.alternate = false;
        if (!c.hasPrecision || c.precision < 8) c.precision = 8;
        c.hasPrecision = true;
    }
    const unsigned base = c.type == L'o' ? 8 : (c.type == L'x' || c.type == L'X') ? 16 : 10;
    wchar_t digits[24];
    int n = c.hasPrecision && c.precision == 0 && a.magnitude == 0 ? 0 : Digits(a.magnitude, base, c.type == L'X', digits);
    int64_t precision = c.hasPrecision ? c.precision : 1;
    if (base == 8 && c.alternate && precision <= n && !(n > 0 && digits[0] == L'0')) precision = n + 1;
    int64_t zeros = precision > n ? precision - n : 0;

    wchar_t prefix[3] = {0, 0, 0};
    int prefixLength = 0;
    if (c.kind == Kind::Signed && a.negative) prefix[prefixLength++] = L'-';
    else if (c.kind == Kind::Signed && c.plus) prefix[prefixLength++] = L'+';
    else if (c.kind == Kind::Signed && c.blank) prefix[prefixLength++] = L' ';
    if (base == 16 && c.alternate && a.magnitude != 0) {
        prefix[prefixLength++] = L'0';
        prefix[prefixLength++] = c.type;
    }

    const int64_t body = prefixLength + zeros + n;
    const bool zeroFill = c.zero && !c.left && !c.hasPrecision;
    if (zeroFill) zeros += c.width > body ? c.width - body : 0;
    else if (!c.left) sink->Repeat(L' ', c.width - body);
    sink->Put(prefix, prefixLength);
    sink->Repeat(L'0', zeros);
    sink->Put(digits, n);
    if (c.left) sink->Repeat(L' ', c.width - body);
}

void StoreCount(const Conversion& c, const Argument& a, int written)
{
    if (!a.pointer) return;
    if (c.size == Size::Narrow) *static_cast<short*>(const_cast<void*>(a.pointer)) = static_cast<short>(written);
    else *static_cast<int*>(const_cast<void*>(a.pointer)) = written;
}

void PutItem(Sink* sink, const Conversion& c, const Argument& a)
{
    switch (c.kind) {
    case Kind::WideChar:
    case Kind::NarrowChar: return PutCharacter(sink, c, a);
    case Kind::WideText:
    case Kind::NarrowText: return PutText(sink, c, a);
    case Kind::Signed:
    case Kind::Unsigned:
    case Kind::Pointer: return PutInteger(sink, c, a);
    case Kind::Count: return StoreCount(c, a, sink->Written());
    default: return;
    }
}

}  // namespace

int FormatBounded(wchar_t* out, int room, const wchar_t* format, va_list args)
{
    va_list cursor;
    va_copy(cursor, args);
    Sink sink(out, room);
    const wchar_t* p = format;
    while (*p) {
        if (*p != L'%' || p[1] == L'%') {
            const wchar_t* next = *p == L'%' ? p + 1 : CharNextW(p);
            sink.Put(p, next - p);
            p = *p == L'%' ? p + 2 : next;
            continue;
        }
        Conversion c;
        p = ParseConversion(p + 1, &cursor, &c);
        if (c.kind == Kind::Float) break;  // refused by the estimate already
        PutItem(&sink, c, FetchArgument(c, &cursor));
    }
    va_end(cursor);
    sink.Terminate();
    return sink.Written();
}
