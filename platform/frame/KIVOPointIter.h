#pragma once
// Iterator over soundings: a position and named fields by index.
//
// The contract every consumer relies on:
// - Once constructed the iterator stands on its first sounding, ready to be
//   read; when it has none, `done` is already true.
// - A consumer asks `done` before every read, the first included, and reads
//   the current sounding only while `done` is false; `next` moves on and
//   makes `done` true after the last sounding.
// - A non-zero status from `done` or `next` is a failure of the source, which
//   ends the walk.
// - Positions are in the system `getCoordSystem` names (none: the consumer's
//   own system).
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVODataType.h"
#include "platform/frame/KIVOIter.h"

class NORVACoordSystem;

class KIVO_EXPORT KIVOPointIter : public KIVOIter {
public:
    using DATA_TYPE = KIVODataType::DATA_TYPE;

    virtual bool next(long& status) = 0;
    virtual long getPosition(double& x, double& y) const = 0;
    virtual const NORVACoordSystem* getCoordSystem() const = 0;
    // Names of fields beyond the available list; none by default.
    virtual void getAdditionalAttributes(std::vector<NORVAUString>& names) const { names.clear(); }
    virtual void getAvailable(std::vector<NORVAUString>& names) const = 0;
    // The field as a double whatever its type; -1 when it cannot be read.
    virtual long getAsDouble(long index, double& value) const;
    virtual DATA_TYPE getType(long index) const = 0;
    virtual long get(long index, NORVAUString& value) const = 0;
    virtual long get(long index, long& value) const = 0;
    virtual long get(long index, double& value) const = 0;
    virtual long count() const = 0;
    // The field index of a name (-1 when absent) and its type.
    virtual bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const = 0;
};
