#pragma once
// A surface stored as points in a tile store: every stored point is a node,
// its record fields are the node's attributes. Nodes added by point queries
// with the create flag wait in an R-tree until they are written into the
// store as one batch (at `flush`, at `store`, or before a query once 1,000
// are pending). Existing nodes are edited through the iterator's attribute
// sets, which write through to the store at once.
#include <memory>
#include <vector>

#include "multires/KestrinPendingGrid.h"
#include "multires/KestrinRTreeEntry.h"
#include "multires/KestrinXMLMetaData.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOMetaBlock.h"
#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/kestrin/KestrinMetaBlock.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"
#include "platform/polyops/NORVARTree.h"

class NORVACoordSystem;

class KIVO_EXPORT KIVOKestrinDataIO : public KIVOSurfaceDataIO {
public:
    using NodeTree = NORVARTree<double, 2>;
    static constexpr size_t kNodeCapacity = 50;
    static constexpr size_t kFlushThreshold = 1000;

    // Opens the store at the path (a cell store when it ends in "kcs", any
    // case; writable when the file opens for update).
    explicit KIVOKestrinDataIO(const NORVAUString& path);
    // Wraps a store that the caller keeps.
    explicit KIVOKestrinDataIO(NORVAKestrinTileStore& store);
    // A new, empty store in memory whose layout follows the XML metadata;
    // nothing is written until `store`. A name whose ".xml" is another
    // surface's is refused (KIVOSurfaceUtils::kNameTaken), here and by the
    // first store.
    KIVOKestrinDataIO(const NORVAUString& path, const KIVOSurfaceMetaData& metadata);
    ~KIVOKestrinDataIO() override;

    KIVOSurfaceAttributeTable* getAttributeInfo() override;
    const KIVOSurfaceAttributeTable* getAttributeInfo() const override;
    const NORVACoordSystem* getCoordSystem() const override { return m_coordSystem.get(); }
    NORVAArray<double> getMinimum() const override { return m_minimum; }
    NORVAArray<double> getMaximum() const override { return m_maximum; }
    NORVAUString getSourceName() const override { return m_path; }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    // Nodes are edited through the attribute sets a query hands out; this
    // generic edit keeps nothing, so it is refused (-1) rather than counted
    // as made.
    long set(double, double, const KIVOAttributeSet&, const KIVODescriptor&, double) override { return -1; }
    long open() override { return 0; }
    long close() override { return 0; }
    long store(NORVAProgress* progress) override;
    long flush() override { return flushNewNodes(false); }
    bool isOutdated() const override { return false; }
    bool checkOutdated() override { return false; }
    using KIVOSurfaceDataIO::query;
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    long deleteAllFiles(bool) override { return 0; }
    // The header, the points file and, when it exists, path + ".tls".
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    long rasterize(rasterizeConfig&) override { return 0; }
    long rasterize(const NORVAUString&, double&, double&, double&, double&, double&, double&, std::vector<float>&,
                   float) {
        return 0;
    }

    static KIVODataType::DATA_TYPE convertType(int32_t storeType);
    static int32_t convertType(KIVODataType::DATA_TYPE type);
    static std::unique_ptr<KestrinMetaBlock> convertToKestrinMetaBlock(const KIVOMetaBlock& block);
    static std::unique_ptr<KIVOMetaBlock> convertToKivoMetaBlock(const KestrinMetaBlock& block);

    NORVAKestrinTileStore* getTileStore() const { return m_store; }
    // Null until opening or creating succeeded. Holds every pending node.
    NodeTree* getNodeTree() const;
    // Grows each time a batch empties the tree: iterators holding pending
    // nodes of an earlier tree must not touch them any more.
    uint64_t getNodeTreeGeneration() const { return m_treeGeneration; }

    // How far from a position, along each axis, a node is the one there:
    // a little short of one spacing, so that neighbours one spacing apart
    // stay two nodes. 0 or the metadata's resolution status.
    long nodeReach(double& reach) const;
    // The pending node nearest (x, y) of those closer than `reach` along
    // both axes (or at the very position); null when there is none.
    KestrinRTreeEntry* nearestNewNode(double x, double y, double reach);
    // Adds a new node at (x, y) unless a pending one is already the node
    // there (within the reach); 0 either way, or the metadata's resolution
    // status. `node`: the pending node there afterwards (null on failure).
    long addNewNode(double x, double y);
    long addNewNode(double x, double y, KestrinRTreeEntry*& node);
    // Writes every pending node into the store as one batch (with the flag:
    // only once 1,000 or more are pending). The pending nodes stay pending
    // when the batch fails.
    long flushNewNodes(bool onlyWhenFull);
    long queryNewNodes(double x0, double y0, double x1, double y1, std::vector<NodeTree::Leaf*>& leaves);

protected:
    long readHeader();

private:
    long openStore(const NORVAUString& path);
    // Points, header and metadata from the files; may run more than once.
    long readFiles(const NORVAUString& path);
    long createStore(const KIVOSurfaceMetaData& metadata);
    // Pending nodes, points, header and metadata in one commit.
    long storeFiles();
    void keepStoredMetadata();
    void adopt(NORVAKestrinTileStore* store, bool owned);
    size_t pendingCount() const;
    // The pending nodes whose box overlaps `box`: the tree's in its order,
    // then those not yet in it in the order they came.
    void findNodes(const NORVABox2D& box, std::vector<NodeTree::Leaf*>& found) const;

    std::unique_ptr<NORVACoordSystem> m_coordSystem;
    NORVAArray<double> m_minimum{0.0, 0.0};
    NORVAArray<double> m_maximum{0.0, 0.0};
    NORVAUString m_path;
    NORVASurfacePin m_pin;  // the header as read or last stored here
    std::unique_ptr<KestrinXMLMetaData> m_metadata;
    NORVAKestrinTileStore* m_store = nullptr;
    std::unique_ptr<NORVAKestrinTileStore> m_ownedStore;
    // Pending nodes wait beside the tree (point queries find them by cell)
    // until it is handed out; it is then built from them in the order they
    // came, and takes the later ones itself.
    mutable std::unique_ptr<NodeTree> m_tree;
    mutable std::vector<std::unique_ptr<KestrinRTreeEntry>> m_unplaced;
    mutable bool m_treeHandedOut = false;
    uint64_t m_treeGeneration = 0;
    // The pending nodes by cell, for the searches of point queries.
    mutable KestrinPendingGrid m_pending;
    std::vector<NodeTree::Leaf*> m_near;
    // The pending nodes in the order they were added.
    std::vector<NodeTree::Leaf*> m_added;
    // The empty attribute set every new node starts as a copy of.
    std::unique_ptr<KIVOMemAttributeSet> m_blankNode;
    // The records a batch of pending nodes is written from.
    std::vector<NORVAKestrinGenericDataObject> m_batchRecords;
};
