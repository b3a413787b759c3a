// The main window: fonts, menus, the page area, dropped files and how Qt enters the handlers
// (the pages themselves are built in FrmViewPages.cpp).
#include "viewer/FrmView.h"

#include "base/FileStream.h"
#include "header/FieldTable.h"
#include "hexviewer/FrmHex.h"
#include "ui/Fonts.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "viewer/FrmAbout.h"

#include <QAction>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QUrl>

#include <string_view>

QString StartupTextFromArguments(const QStringList& arguments)
{
    const QString text = arguments.join(QLatin1Char(' '));
    qsizetype start = 0;
    while (start < text.size() && (text[start] == QLatin1Char(' ') || text[start] == QLatin1Char('\t')))
        ++start;
    return text.mid(start);
}

namespace {

template <size_t N> std::array<QString, N> ToQStrings(std::span<const std::string_view> texts)
{
    std::array<QString, N> result;
    for (size_t i = 0; i < N && i < texts.size(); ++i)
        result[i] = QString::fromLatin1(texts[i]);
    return result;
}

std::array<QString, 9> SectionRowCaptions()
{
    std::array<QString, 9> result;
    const auto rows = SectionFields();
    for (size_t r = 0; r < result.size() && r < rows.size(); ++r)
        result[r] = QString::fromLatin1(rows[r].caption);
    return result;
}

std::array<uint32_t, 13> Masks()
{
    std::array<uint32_t, 13> result{};
    const auto masks = CharacteristicMasks();
    for (size_t f = 0; f < result.size() && f < masks.size(); ++f)
        result[f] = masks[f];
    return result;
}

} // namespace

TFrmView::TFrmView(QString startupFileName, QWidget* parent)
    : QMainWindow(parent)
    , SectionLabelTexts(SectionRowCaptions())
    , CharacteristicTexts(ToQStrings<13>(::CharacteristicTexts()))
    , CharacteristicMasks(Masks())
{
    setObjectName(QStringLiteral("FrmView"));
    setWindowTitle(QStringLiteral("Korvex"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowCloseButtonHint);
    setFont(FormFace(SansFamilies(), false));
    FFieldLabelFont = FormFace(SerifFamilies(), true);
    FCheckBoxFont = FormFace(SerifFamilies(), true);
    FFieldLabelPalette = palette();
    FFieldLabelPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    FCheckBoxPalette = palette();
    FCheckBoxPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    FCheckBoxPalette.setColor(QPalette::ButtonText, QColor(128, 0, 0));

    CreateMenus();
    CreatePages();
    setAcceptDrops(true);
    // Client area of the classic 626 x 437 window: the frame takes 8 x 27 of it.
    resize(618, 410);
    // Never larger than the screen's free area (a small screen, a large scale factor): the
    // pages scroll instead. The frame's own size is allowed for.
    if (const QScreen* shown = screen()) {
        const QSize room = shown->availableGeometry().size() - QSize(16, 48);
        if (room.width() < width() || room.height() < height())
            resize(std::min(width(), room.width()), std::min(height(), room.height()));
    }

    FStreamOpener = [](const std::string& fileName) {
        return std::make_unique<::FileStream>(fileName, ::FileStream::Mode::OpenReadWrite);
    };
    FAccessProbe = &TFrmView::ProbeWriteAccess;

    StartupFileName = std::move(startupFileName);
    FrmAbout = new TFrmAbout(this);
    FrmHex = new TFrmHex(this);
}

TFrmView::~TFrmView() = default;

void TFrmView::SetStreamOpener(StreamOpener opener)
{
    FStreamOpener = std::move(opener);
}

void TFrmView::CreateMenus()
{
    auto makeAction = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                          auto handler) {
        auto* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
        return action;
    };

    MnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    MnuFile->setObjectName(QStringLiteral("MnuFile"));
    MnuOpen = makeAction(
        MnuFile, "MnuOpen", QStringLiteral("Open..."), QKeySequence(Qt::Key_F2), &TFrmView::MnuOpenClick);
    MnuCloseFile = makeAction(MnuFile, "MnuCloseFile", QStringLiteral("Close"), QKeySequence(Qt::Key_F3),
        &TFrmView::MnuCloseFileClick);
    MnuSave = makeAction(MnuFile, "MnuSave", QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S),
        &TFrmView::MnuSaveClick);
    MnuCompare = makeAction(MnuFile, "MnuCompare", QStringLiteral("Compare &With..."), QKeySequence(),
        &TFrmView::MnuCompareClick);
    MnuCloseCompare = makeAction(MnuFile, "MnuCloseCompare", QStringLiteral("Close Co&mparison"),
        QKeySequence(), &TFrmView::MnuCloseCompareClick);
    Dash = MnuFile->addSeparator();
    Dash->setObjectName(QStringLiteral("Dash"));
    MnuExit = makeAction(
        MnuFile, "MnuExit", QStringLiteral("Exit"), QKeySequence(Qt::Key_F6), &TFrmView::MnuExitClick);

    MnuConvert = menuBar()->addMenu(QStringLiteral("&Convert"));
    MnuConvert->setObjectName(QStringLiteral("MnuConvert"));
    MnuHexView = MnuConvert->addAction(QStringLiteral("Hex"));
    MnuHexView->setObjectName(QStringLiteral("MnuHexView"));
    MnuHexView->setShortcut(QKeySequence(Qt::Key_F4));
    MnuHexView->setCheckable(true);
    connect(MnuHexView, &QAction::triggered, this, [this] {
        // The check mark is the radix state and only the toggle itself may change it:
        // undo the flip Qt makes before it reports the trigger.
        MnuHexView->setChecked(!MnuHexView->isChecked());
        Guarded([this] { MnuHexViewClick(); });
    });

    MnuCheckSum = makeAction(MnuConvert, "MnuCheckSum", QStringLiteral("&Recompute Checksum"),
        QKeySequence(Qt::Key_F5), &TFrmView::MnuCheckSumClick);

    MnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    MnuHelp->setObjectName(QStringLiteral("MnuHelp"));
    MnuAbout = makeAction(
        MnuHelp, "MnuAbout", QStringLiteral("About..."), QKeySequence(Qt::Key_F12), &TFrmView::MnuAboutClick);

    MnuCloseFile->setEnabled(false);
    MnuSave->setEnabled(false);
    MnuCompare->setEnabled(false);
    MnuCloseCompare->setEnabled(false);
    MnuHexView->setEnabled(false);
    MnuCheckSum->setEnabled(false);
}

void TFrmView::UpdatePageArea()
{
    // A page control whose tabs are all hidden shows no page at all.
    auto* stack = PageControl1->findChild<QStackedWidget*>();
    if (!stack)
        return;
    bool anyShown = false;
    for (int i = 0; i < PageControl1->count(); ++i)
        anyShown = anyShown || PageControl1->isTabVisible(i);
    stack->setVisible(anyShown);
}

bool TFrmView::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        const bool result = QMainWindow::event(event);
        Guarded([this] { FormActivate(); });
        return result;
    }
    return QMainWindow::event(event);
}

void TFrmView::AlignViewButton()
{
    // "&View" stands on its page with its top edge level with "Sa&ve"'s, wherever the page
    // controls' tab bars put the page.
    const int pageTop = TabSecHd->mapTo(centralWidget(), QPoint(0, 0)).y();
    ButView->move(ButView->x(), ButSave->y() - pageTop);
}

bool TFrmView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TabPE && event->type() == QEvent::Show)
        Guarded([this] { TabPEShow(); });
    if (watched == TabSecHd && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        AlignViewButton();
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// Anything that brings addresses may be dropped; what they name is judged on the drop.
bool CarriesUrls(const QDropEvent* event)
{
    return event->mimeData() && event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty();
}

// Opening reads the file, it takes nothing away: a copy, so no source deletes what it moved.
void AcceptAsCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

} // namespace

void TFrmView::dragEnterEvent(QDragEnterEvent* event)
{
    if (CarriesUrls(event))
        AcceptAsCopy(event);
    else
        event->ignore();
}

void TFrmView::dragMoveEvent(QDragMoveEvent* event)
{
    if (CarriesUrls(event))
        AcceptAsCopy(event);
    else
        event->ignore();
}

void TFrmView::dropEvent(QDropEvent* event)
{
    if (!CarriesUrls(event)) {
        event->ignore();
        return;
    }
    const QList<QUrl> urls = event->mimeData()->urls();
    AcceptAsCopy(event);
    // Opening may show message boxes: it runs once the drag has ended, not inside it.
    QMetaObject::invokeMethod(
        this, [this, urls] { Guarded([&] { WMDropFiles(urls); }); }, Qt::QueuedConnection);
}

void TFrmView::WMDropFiles(const QList<QUrl>& urls)
{
    if (urls.size() != 1) {
        ShowMessage(QStringLiteral("Drop one file at a time."));
        return;
    }
    const QUrl& url = urls.constFirst();
    const bool local = url.isLocalFile()
        && (url.host().isEmpty() || url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
    if (!local) {
        ShowMessage(QStringLiteral("Only a file on this computer can be opened."));
        return;
    }
    const QString fileName = url.toLocalFile();
    if (QFileInfo(fileName).isDir()) {
        ShowMessage(QStringLiteral("A folder cannot be opened. Drop a file."));
        return;
    }
    if (MnuCloseFile->isEnabled()) {
        if (!SaveChangesAnswered())
            return;
        CloseFile();
    }
    FFileName = fileName;
    OpenChosenFile();
}
