#pragma once
// A node iterator that serves only the nodes of a wrapped iterator that a
// subclass selects (by attributes, by position, ...). Without a wrapped
// iterator it is done at once and every getter answers -1 or null. The
// count is the wrapped iterator's, before selection. A failure of the
// wrapped iterator ends the walk, and `done` reports it from then on.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOSurfaceIter.h"

class KIVO_EXPORT KIVOSelectingSurfaceIter : public KIVOSurfaceIter {
public:
    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    long getPosition(double& x, double& y, const long& attribute) const override;
    long count() const override;
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet& attributes) override;

protected:
    explicit KIVOSelectingSurfaceIter(NORVAType<KIVOSurfaceIter> iter) : m_iter(std::move(iter)) {}
    // Whether the wrapped iterator's current node is served.
    virtual bool selects() const = 0;
    // Moves on to the first selected node; subclasses call it once they are
    // fully built. A failure of the wrapped iterator stops the search, so a
    // broken iterator cannot spin, and is returned (and kept for `done`).
    long skipUnselected();
    KIVOSurfaceIter* wrapped() const { return m_iter.get(); }

private:
    long findSelected();

    NORVAType<KIVOSurfaceIter> m_iter;
    long m_failure = 0;  // the wrapped iterator's failure that ended the walk
};
