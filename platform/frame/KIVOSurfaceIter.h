#pragma once
// Iterator over the nodes of a surface, positioned on its first node when made.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOIter.h"

class KIVO_EXPORT KIVOSurfaceIter : public KIVOIter {
public:
    // Advances; false once past the last node.
    virtual bool next(long& status) = 0;
    // The current node's attributes; null when there is no current node.
    virtual KIVOAttributeSet* getAttributes() = 0;
    virtual const KIVOAttributeSet* getAttributes() const {
        return const_cast<KIVOSurfaceIter*>(this)->getAttributes();
    }
    // Position of the current node. An attribute index above -1 asks for the
    // position that attribute is served at (same as the node's here).
    virtual long getPosition(double& x, double& y, const long& attribute) const = 0;
    virtual long count() const = 0;
    virtual const KIVODescriptor& getAttributeDescriptor() const = 0;
    // Writes the given values into the current node; -1 when read-only.
    virtual long setAttributes(const KIVOAttributeSet& attributes) { return -1; }
};
