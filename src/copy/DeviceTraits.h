#pragma once

#include "copy/DestinationRules.h"
#include "copy/Guard.h"

#include <map>

#include <sys/types.h>

// Learning what a destination's file system does to names, times and
// modes (DestinationRules.h), once per device: never per file.
namespace copy {

// Probes the file system of the folder open on dirFd. With mayWrite, a probe
// file is made there under a temporary name, marked as ours as every
// temporary file of the engine is (MarkTemporary), and removed at once
// through the guard, as is every name tried beside it, only while the name
// is still the file the probe made: its name is looked up in upper case,
// given a time with odd nanoseconds, dates before 1980 and after 2107 and no
// write bit (its mark tells whether user attributes are kept), and names
// with a trailing dot or space, a colon, a device name and a byte that is no
// UTF-8 are tried beside it. Without mayWrite (a listing), or where nothing
// can be written, only what can be read is learnt: letter case from an entry
// already there, the time resolution from the kind of file system and the
// times of the entries there. On a FUSE block device the volume's own format
// narrows the times, since the driver may keep in memory what the volume
// cannot.
DeviceTraits ProbeDevice(int dirFd, bool mayWrite, const Guard &guard);

// The traits of each destination device, probed on first sight. Used by
// the walk's thread alone; a returned reference stays valid.
class DeviceTraitsCache
{
public:
    const DeviceTraits &of(int dirFd, dev_t device, bool mayWrite, const Guard &guard);
    bool knows(dev_t device) const { return m_byDevice.count(device) != 0; }

private:
    std::map<dev_t, DeviceTraits> m_byDevice;
};

} // namespace copy
