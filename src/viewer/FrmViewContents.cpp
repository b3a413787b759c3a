// The Contents page: what the data directories hold, as a tree over the decoded structures.
// Enter or a double-click shows an item's bytes in the hex viewer, selected; Ctrl+C copies the
// selected rows as text.
#include "viewer/FrmView.h"

#include "base/FileStream.h"
#include "contents/Contents.h"
#include "hexviewer/FrmHex.h"
#include "ui/Guard.h"
#include "ui/Modal.h"
#include "viewer/ContentsModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <climits>
#include <vector>

void TFrmView::CreateTabContents()
{
    TabContents = new QWidget;
    TabContents->setObjectName(QStringLiteral("TabContents"));
    auto* tree = new ContentsTreeView(TabContents);
    TreeContents = tree;
    TreeContents->setObjectName(QStringLiteral("TreeContents"));
    FContentsModel = new ContentsModel(TreeContents);
    TreeContents->setModel(FContentsModel);
    TreeContents->setUniformRowHeights(true); // rows of a large table need no measuring
    TreeContents->setSelectionMode(QAbstractItemView::ExtendedSelection);
    TreeContents->header()->setStretchLastSection(true);
    TreeContents->setColumnWidth(0, 300);
    TreeContents->setColumnWidth(1, 260);
    auto* layout = new QHBoxLayout(TabContents);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(TreeContents);
    PageControl1->addTab(TabContents, QStringLiteral("&Contents"));
    PageControl1->setTabVisible(PageControl1->indexOf(TabContents), false);

    // Enter and a double-click both activate.
    connect(TreeContents, &QTreeView::activated, this,
        [this](const QModelIndex& index) { Guarded([this, index] { TreeContentsActivated(index); }); });
    auto* copy = new QAction(QStringLiteral("&Copy"), TreeContents);
    copy->setObjectName(QStringLiteral("MnuContentsCopy"));
    copy->setShortcut(QKeySequence::Copy); // shown in the context menu; the tree takes the key itself
    copy->setShortcutContext(Qt::WidgetShortcut);
    TreeContents->addAction(copy);
    TreeContents->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copy, &QAction::triggered, this, [this] { Guarded([this] { TreeContentsCopy(); }); });
    tree->OnCopy = [this] { Guarded([this] { TreeContentsCopy(); }); };
}

void TFrmView::ShowContents()
{
    if (!FileStream || FOpened.kind != ImageKind::Pe)
        return;
    // Signature and Hardening read the stream the window holds when they are opened: a save
    // replaces it with a writable one.
    FContentsModel->SetContents(DecodeContents(BlockCachedReader(*FileStream), FOpened),
        [this]() -> const ByteReader* { return FileStream.get(); });
    FContentsModel->SetHex(HexShown());
    PageControl1->setTabVisible(PageControl1->indexOf(TabContents), true);
}

void TFrmView::ClearContents()
{
    FContentsModel->Clear();
    PageControl1->setTabVisible(PageControl1->indexOf(TabContents), false);
}

void TFrmView::UpdateContentsRadix()
{
    FContentsModel->SetHex(HexShown());
    UpdateComparisonRadix();
}

void TFrmView::TreeContentsActivated(const QModelIndex& index)
{
    const auto [offset, length] = FContentsModel->ItemBytes(index);
    if (length == 0 || !FileStream || offset >= FileStream->Size())
        return;
    // The viewer holds at most 2^31 - 1 bytes; the file may be shorter than the item says.
    const auto count = static_cast<uint32_t>(
        std::min<uint64_t>({length, FileStream->Size() - offset, uint64_t(INT32_MAX)}));
    FrmHex->setWindowTitle(
        QStringLiteral("Contents  [") + index.siblingAtColumn(0).data().toString() + QStringLiteral("]"));
    FrmHex->PutFileRange(*FileStream, offset, count);
    FrmHex->SelectAllBytes();
    ShowModal(*FrmHex);
}

void TFrmView::TreeContentsCopy()
{
    // One line a row, in the tree's order: item, value and offset separated by tabs, indented
    // by depth.
    QModelIndexList rows = TreeContents->selectionModel()->selectedRows();
    auto path = [](QModelIndex index) {
        std::vector<int> steps;
        for (; index.isValid(); index = index.parent())
            steps.insert(steps.begin(), index.row());
        return steps;
    };
    std::sort(rows.begin(), rows.end(),
        [&path](const QModelIndex& a, const QModelIndex& b) { return path(a) < path(b); });
    QString text;
    for (const QModelIndex& row : rows) {
        int depth = 0;
        for (QModelIndex up = row.parent(); up.isValid(); up = up.parent())
            ++depth;
        text += QString(2 * depth, QLatin1Char(' '));
        for (int column = 0; column < 3; ++column)
            text += row.siblingAtColumn(column).data().toString()
                + (column < 2 ? QStringLiteral("\t") : QString());
        text += QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}
