#include "devices/baseline.h"

#include "devices/enumeration.h"

namespace {

bool ContainsHardwareId(const DeviceList& list, const CString& hardwareId)
{
    for (unsigned i = 0; i < list.Size(); ++i) {
        if (list.At(i).hardwareId.Equals(hardwareId))
            return true;
    }
    return false;
}

}  // namespace

void CompareDeviceLists(const DeviceList& baseline, const DeviceList& fresh, DeviceList& result)
{
    result.Clear();
    bool freshIsOuter = fresh.Size() >= baseline.Size();
    const DeviceList& outer = freshIsOuter ? fresh : baseline;
    const DeviceList& inner = freshIsOuter ? baseline : fresh;
    for (unsigned i = 0; i < outer.Size(); ++i) {
        if (!ContainsHardwareId(inner, outer.At(i).hardwareId))
            result.Append(outer.At(i));
    }
}

bool CompareWithBaseline(const DeviceList& baseline, DeviceList& result)
{
    result.Clear();
    DeviceList fresh;
    if (!EnumerateDevices(fresh))
        return false;
    CompareDeviceLists(baseline, fresh, result);
    return true;
}
