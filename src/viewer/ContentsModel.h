#pragma once
// The decoded directories as one tree (columns: item, value, file offset) for the Contents page.
// A node's children are made when the view first asks for them, so a large export table or a
// deep resource tree costs memory only for what is opened. The anomalies come first, as
// "Warnings"; the signature and the hardening report come last, checked when first opened, as
// checking reads the whole file. While the window compares the file with another, a last
// "Differences" node lists what the header boxes cannot show.
#include "contents/Contents.h"
#include "contents/Diff.h"

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QTreeView>

#include <functional>
#include <memory>
#include <optional>

class ContentsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit ContentsModel(QObject* parent = nullptr);
    ~ContentsModel() override;

    // The file as it is when a "Signature" or "Hardening" node is first opened (it may have been
    // saved since the contents were decoded); without one, those nodes are left out.
    using FileSource = std::function<const ByteReader*()>;
    void SetContents(ImageContents contents, FileSource file = {});
    void Clear();
    // Checks the file again for the Signature and Hardening nodes already opened (after a save).
    void RecheckFile();
    // Values and offsets in hexadecimal (0x...) or decimal, as the window's toggle says.
    void SetHex(bool hex);
    bool Hex() const { return FHex; }
    // The "Differences" node, last, its value summary; one child per part (imports, exports,
    // bytes, ...) in the order of the differences. ClearDifferences removes it and nothing else.
    void SetDifferences(const QString& summary, std::vector<Difference> differences);
    void ClearDifferences();

    // The file bytes an item stands for: offset and length (0 when it has none).
    std::pair<uint64_t, uint64_t> ItemBytes(const QModelIndex& index) const;
    // Nodes made so far (the tree's memory follows what was opened).
    size_t NodesMade() const { return FNodesMade; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    struct Node;

private:
    Node* NodeOf(const QModelIndex& index) const;
    void Fill(Node& node) const;

    std::unique_ptr<ImageContents> FContents;
    std::unique_ptr<Node> FRoot;
    std::unique_ptr<std::vector<Difference>> FDifferences;
    Node* FDifferencesNode = nullptr;
    bool FHex = true;
    mutable size_t FNodesMade = 0;
};

// The page's tree: Ctrl+C copies the selected rows (OnCopy), not only the current cell as the
// view's own copy would.
class ContentsTreeView : public QTreeView {
public:
    using QTreeView::QTreeView;
    std::function<void()> OnCopy;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Copy) && OnCopy) {
            OnCopy();
            event->accept();
            return;
        }
        QTreeView::keyPressEvent(event);
    }
};
