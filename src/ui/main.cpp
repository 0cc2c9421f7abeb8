#include "ui/main.h"

#include "check/checker.h"
#include "tiff/detail.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "ui/batchtab.h"
#include "ui/detailpane.h"
#include "ui/directoryselector.h"
#include "ui/elidedlabel.h"
#include "ui/filemap.h"
#include "ui/imagelist.h"
#include "ui/listingdelegate.h"
#include "ui/messages.h"
#include "ui/problemspane.h"
#include "ui/tagedit.h"
#include "ui/taglistmodel.h"
#include "ui/uiscale.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <new>

namespace {

constexpr std::array<const char*, 3> kPanelCaptions{"Filename", "Pages", "Fileinfo "};
constexpr std::array<int, 3> kPanelWidths{200, 120, 280};

bool isExistingFile(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.exists() && info.isFile();
}

} // namespace

TForm1::TForm1(const QStringList& args, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velquin V5"));
    setWindowIcon(ProgramIcon());
    resize(843, 668);
    createActions();
    createMenus();
    createToolBar();
    createPages();
    createStatusBar();
    connectSignals();
    FormCreate(args);
    connectOutsideCommands();
}

TForm1::~TForm1()
{
    // The file goes before the widgets do: nothing may look into it meanwhile.
    DirectorySelector->SetFile(nullptr);
    DetailPane->ShowNothing();
    forgetCheck();
}

// ---------------------------------------------------------------- building the window

void TForm1::createActions()
{
    auto make = [this](const char* name, const QString& text, const QString& hint, int image = -1) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setToolTip(hint);
        a->setStatusTip(hint);
        if (image >= 0)
            a->setIcon(ImageList1(static_cast<TImage>(image)));
        return a;
    };
    Open1 = make("Open1", tr("Open"), tr("Open an exiting file"), ImgOpen);
    Open1->setShortcut(QKeySequence::Open);
    Saveas1 = make("Saveas1", tr("Save as"), QString());
    Saveas1->setVisible(false);
    Exit1 = make("Exit1", tr("Exit"), QString());
    Exit1->setShortcut(QKeySequence::Quit);
    AboutVelquin1 = make("AboutVelquin1", tr("About Velquin"), QString());
    Emailsupport1 = make("Emailsupport1", tr("Email support"), QString(), ImgSupport);

    ActionNextPage = make("ActionNextPage", tr("Next Page"), tr("Move to next page"), ImgNextPageDisabled);
    ActionNextPage->setShortcut(Qt::Key_PageDown);
    ActionPrevPage = make("ActionPrevPage", tr("Prev Page"), tr("Move to prev page"), ImgPrevPageDisabled);
    ActionPrevPage->setShortcut(Qt::Key_PageUp);
    ActionNextPage->setEnabled(false);
    ActionPrevPage->setEnabled(false);
    ActionNextPage->setData(ImgNextPageDisabled);
    ActionPrevPage->setData(ImgPrevPageDisabled);

    ActionLaunchViewer = make("ActionLaunchViewer", tr("Launch image viewer"),
                              tr("Launch file in external application"), ImgViewer);
    ActionLaunchViewer->setEnabled(false);
    ActionPrint = make("ActionPrint", tr("Print"), tr("Send current report to printer"), ImgPrint);
    ActionPrint->setShortcut(QKeySequence::Print);
    ActionPrint->setEnabled(false);
    ActionCalculator = make("ActionCalculator", tr("Calculator"), tr("Launch Calculator"), ImgCalculator);
    ActionStartHomepage = make("ActionStartHomepage", tr("Homepage"), tr("Open webpage on internet"), ImgInternet);

    ActionCopy = make("ActionCopy", tr("Copy"), tr("Copy the selected rows"));
    ActionCopy->setShortcut(QKeySequence::Copy);
    ActionCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // The keyboard's way to the display modes; Enter and F2 on a row are
    // ListView1's own keys (eventFilter).
    ActionDecimal = make("ActionDecimal", tr("Decimal"), QString());
    ActionDecimal->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    ActionHex = make("ActionHex", tr("Hexadecimal"), QString());
    ActionHex->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
}

void TForm1::createMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("File1"));
    file->addAction(Open1);
    file->addAction(Saveas1);
    file->addAction(Exit1);

    QMenu* options = bar->addMenu(tr("&Options"));
    options->setObjectName(QStringLiteral("Options1"));
    options->addAction(ActionNextPage);
    options->addAction(ActionPrevPage);
    QAction* viewImage = options->addAction(ActionLaunchViewer->text());
    viewImage->setObjectName(QStringLiteral("viewimage1"));
    // A menu entry that follows the action, as a linked item does.
    connect(viewImage, &QAction::triggered, ActionLaunchViewer, &QAction::trigger);
    connect(ActionLaunchViewer, &QAction::changed, viewImage,
            [viewImage, this] { viewImage->setEnabled(ActionLaunchViewer->isEnabled()); });
    viewImage->setEnabled(false);
    const std::pair<const char*, QString> unused[] = {
        {"Exportpagetofile1", tr("Export page to file")},
        {"Combinetomultipage1", tr("Combine to multipage")},
        {"Splitmultipagefile1", tr("Split multipage file")},
        {"Batchsplit1", tr("Batch split")},
    };
    for (const auto& [name, text] : unused) {
        QAction* a = options->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        a->setEnabled(false);
        if (std::string_view(name) == "Exportpagetofile1")
            a->setStatusTip(tr("Export current viewed image to separate file"));
    }

    QMenu* about = bar->addMenu(tr("&About"));
    about->setObjectName(QStringLiteral("About1"));
    about->addAction(AboutVelquin1);
    about->addAction(Emailsupport1);
}

void TForm1::createToolBar()
{
    ToolBar1 = addToolBar(tr("Tools"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    auto button = [this](QAction* action, const char* name) {
        ToolBar1->addAction(action);
        auto* b = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action));
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(true);
        b->setMinimumWidth(33);
        return b;
    };
    auto modeButton = [this](const char* name, const QString& hint, QAction* keys, TImage image, bool pressed) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        const QString withKey =
            QStringLiteral("%1 (%2)").arg(hint, keys->shortcut().toString(QKeySequence::NativeText));
        b->setToolTip(withKey);
        b->setStatusTip(withKey);
        addAction(keys); // window-wide keys
        b->setIcon(ImageList1(image));
        b->setAutoRaise(true);
        b->setMinimumWidth(33);
        b->setCheckable(true);
        b->setChecked(pressed);
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton1 = button(Open1, "ToolButton1");
    ToolBar1->addSeparator();
    tbPrevious = button(ActionPrevPage, "tbPrevious");
    tbNext = button(ActionNextPage, "tbNext");
    DirectorySelector = new TDirectorySelector(ToolBar1);
    ToolBar1->addWidget(DirectorySelector);
    ToolBar1->addSeparator();
    tbLauchImageViewer = button(ActionLaunchViewer, "tbLauchImageViewer");
    ToolBar1->addSeparator();
    tb10 = modeButton("tb10", tr("Show values in DEC format"), ActionDecimal, ImgDecimal, true);
    tb16 = modeButton("tb16", tr("shhow values in HEX format"), ActionHex, ImgHex, false);
    ToolBar1->addSeparator();
    tbtnPrint = button(ActionPrint, "tbtnPrint");
    ToolBar1->addSeparator();
    tbCalc = button(ActionCalculator, "tbCalc");
    tnInternet = button(ActionStartHomepage, "tnInternet");
}

void TForm1::createPages()
{
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setTabPosition(QTabWidget::West);

    TabSheetInfo = new QWidget(PageControl1);
    TabSheetInfo->setObjectName(QStringLiteral("TabSheetInfo"));
    ListModel = new TTagListModel(this);
    ListView1 = new QTreeView(TabSheetInfo);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(ListModel);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true); // keeps a page of 65,535 rows smooth
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setCursor(Qt::PointingHandCursor);
    ListView1->setItemDelegate(new TListingDelegate(ListView1));
    ListView1->setMinimumSize(Scaled(700), Scaled(300));
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    // Columns start as designed, whatever the font, and the printed report
    // follows them; a user may narrow one away entirely.
    ListView1->header()->setMinimumSectionSize(0);
    for (int c = 0; c < TTagListModel::ColumnCount; ++c)
        ListView1->header()->resizeSection(c, TTagListModel::Widths[static_cast<std::size_t>(c)]);
    QPalette pal = ListView1->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    ListView1->setPalette(pal);
    ListView1->addAction(ActionCopy);
    ListView1->installEventFilter(this);
    InfoSplitter = new QSplitter(Qt::Vertical, TabSheetInfo);
    InfoSplitter->setObjectName(QStringLiteral("InfoSplitter"));
    InfoSplitter->addWidget(ListView1);
    DetailPane = new TDetailPane(InfoSplitter);
    InfoSplitter->addWidget(DetailPane);
    ProblemsPane = new TProblemsPane(InfoSplitter);
    InfoSplitter->addWidget(ProblemsPane);
    InfoSplitter->setCollapsible(0, false);
    InfoSplitter->setStretchFactor(0, 3);
    InfoSplitter->setStretchFactor(1, 2);
    InfoSplitter->setStretchFactor(2, 1);
    // The listing first, as it always was; findings take room only when there are some.
    InfoSplitter->setSizes({Scaled(380), Scaled(220), Scaled(120)});
    FileMap = new TFileMap(TabSheetInfo);
    auto* infoLayout = new QVBoxLayout(TabSheetInfo);
    infoLayout->setContentsMargins(0, 0, 0, 0);
    infoLayout->addWidget(InfoSplitter);
    infoLayout->addWidget(FileMap);

    TabSheetBatch = new QWidget(PageControl1);
    TabSheetBatch->setObjectName(QStringLiteral("TabSheetBatch"));
    BatchTab = new TBatchTab(TabSheetBatch);
    auto* batchLayout = new QVBoxLayout(TabSheetBatch);
    batchLayout->setContentsMargins(0, 0, 0, 0);
    batchLayout->addWidget(BatchTab);

    PageControl1->addTab(TabSheetInfo, tr("Info"));
    PageControl1->addTab(TabSheetBatch, tr("Batch"));
    PageControl1->setCurrentWidget(TabSheetInfo);
    setCentralWidget(PageControl1);
}

void TForm1::createStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        // As wide as their text needs: shortened only when the window is too narrow.
        auto* panel = new TElidedLabel(QString::fromLatin1(kPanelCaptions[i]), bar, kPanelWidths[i]);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panel);
        m_panels[i] = panel;
    }
}

void TForm1::connectSignals()
{
    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(ActionNextPage, &QAction::triggered, this, &TForm1::ActionNextPageExecute);
    connect(ActionPrevPage, &QAction::triggered, this, &TForm1::ActionPrevPageExecute);
    connect(tb10, &QToolButton::clicked, this, &TForm1::tb10Click);
    connect(tb16, &QToolButton::clicked, this, &TForm1::tb16Click);
    connect(ActionCopy, &QAction::triggered, this, &TForm1::ActionCopyExecute);
    connect(ActionDecimal, &QAction::triggered, this, &TForm1::tb10Click);
    connect(ActionHex, &QAction::triggered, this, &TForm1::tb16Click);
    connect(ListView1, &QAbstractItemView::doubleClicked, this, &TForm1::ListView1DblClick);
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TForm1::ListView1SelectionChange);
    connect(DirectorySelector, &TDirectorySelector::directoryChosen, this, &TForm1::DirectorySelectorChange);
    connect(ProblemsPane, &TProblemsPane::problemChosen, this, &TForm1::showPlace);
    connect(FileMap, &TFileMap::partClicked, this, &TForm1::showPlace);
    connect(BatchTab, &TBatchTab::fileRead, this, [this](const QString& path) { SetStatusText(1, path); });
    // The run borrows the Pages panel for its paths; afterwards it is the view's again.
    connect(BatchTab, &TBatchTab::runFinished, this, [this] { SetStatusText(1, m_pagesText); });
    connect(BatchTab, &TBatchTab::closeRequested, this, &QWidget::close);
    // Update rules run whenever the event loop has nothing left to do.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TForm1::UpdateActions);
}

void TForm1::FormCreate(const QStringList& args)
{
    // The open dialog lives as long as the window, so it remembers the last name.
    OPD = new QFileDialog(this, tr("Open"));
    OPD->setObjectName(QStringLiteral("OPD"));
    OPD->setOption(QFileDialog::DontUseNativeDialog);
    OPD->setOption(QFileDialog::HideNameFilterDetails);
    OPD->setFileMode(QFileDialog::AnyFile); // a typed name need not exist
    OPD->setAcceptMode(QFileDialog::AcceptOpen);
    OPD->setNameFilters({tr("Tiff Files (*.[tT][iI][fF] *.[tT][iI][fF][fF])"), tr("Alle files (*)")});
    OPD->selectNameFilter(OPD->nameFilters().first());

    if (!args.isEmpty() && isExistingFile(args.first()))
        Messages::Guarded([&] { LoadFile(args.first(), 1); });
    // A file dropped anywhere on the window opens, also over an edit field,
    // which would otherwise take the drop as text.
    for (QWidget* child : findChildren<QWidget*>())
        child->setAcceptDrops(false);
    setAcceptDrops(true);
}

// ---------------------------------------------------------------- the single-file view

void TForm1::LoadFile(const QString& path, int page)
{
    // Whatever tab is showing, the user wants to see the file they opened.
    PageControl1->setCurrentWidget(TabSheetInfo);
    // Nothing may keep pointing into the file about to go.
    DetailPane->ShowNothing();
    DirectorySelector->SetFile(nullptr);
    forgetCheck();
    m_directory.reset();
    m_subDirectory = false;
    m_readerMessages.clear();
    TiffFile.reset();
    TiffFile = std::make_unique<TTiffFile>([this](const TReaderMessage& message) {
        m_readerMessages.push_back(message);
        if (!message.Text.empty())
            Messages::ShowMessage(QString::fromStdString(message.Text));
    });
    try {
        TiffFile->Open(path.toStdString());
    } catch (...) {
        // The new file failed: the old rows and status must not stay on offer,
        // since commands on them would act on the file that failed.
        ListModel->Clear();
        for (std::size_t i = 0; i < m_panels.size(); ++i)
            m_panels[i]->setText(QString::fromLatin1(kPanelCaptions[i]));
        m_pagesText = m_panels[1]->text();
        updateTitle(false);
        throw;
    }
    updateTitle(true);
    checkOpenFile();
    DirectorySelector->SetFile(TiffFile.get());
    BatchTab->SetDefaultStartDir(QFileInfo(path).absolutePath());
    try {
        ShowPage(page);
        ShowFileInfo();
    } catch (const std::bad_alloc&) {
        ListModel->Clear();
        throw EOutOfMemory(path.toStdString());
    }
}

void TForm1::updateTitle(bool opened)
{
    const std::string_view name = opened ? ExtractFileName(TiffFile->FileName) : std::string_view();
    setWindowTitle(name.empty() ? QStringLiteral("Velquin V5")
                                : QStringLiteral("Velquin V5 - ") + QString::fromUtf8(name.data(), name.size()));
}

void TForm1::ShowPage(int page)
{
    if (!TiffFile)
        return;
    ListTags(page);
}

void TForm1::ListTags(int page)
{
    CurrentPage = page;
    TListing listing = BuildListing(*TiffFile, page, m_hex);
    DetailPane->ShowNothing();
    ListModel->SetRows(std::move(listing.Rows));
    m_directory = pageDirectory(*TiffFile, page);
    m_subDirectory = false;
    DirectorySelector->ShowDirectory(m_directory);
    markProblemRows();
    if (listing.Failed)
        Messages::ShowMessage(QStringLiteral("Input file wrong"));
}

void TForm1::ShowFileInfo()
{
    if (!TiffFile)
        return;
    m_panels[0]->setText(QString::fromStdString(FileNamePanelText(TiffFile->FileName)) + problemsText());
    m_pagesText = QString::fromStdString(PagesPanelText(CurrentPage, TiffFile->PageCount()));
    m_panels[1]->setText(m_pagesText);
    const TTiffPage* page = TiffFile->Pages.GetPage(CurrentPage - 1);
    // A size that cannot be computed says why in the panel: a box on every
    // page step would be noise, and the old text would belong to another page.
    const QString separator = QLocale().decimalPoint();
    m_panels[2]->setText(page ? QString::fromStdString(SizePanelText(*page, separator.toStdString())) : QString());
}

QString TForm1::StatusText(int panel) const
{
    return panel >= 0 && panel < static_cast<int>(m_panels.size()) ? m_panels[static_cast<std::size_t>(panel)]->text()
                                                                    : QString();
}

void TForm1::SetStatusText(int panel, const QString& text)
{
    if (panel >= 0 && panel < static_cast<int>(m_panels.size()))
        m_panels[static_cast<std::size_t>(panel)]->setText(text);
}

// ---------------------------------------------------------------- commands

void TForm1::Open1Click()
{
    Messages::Guarded([this] {
        if (OPD->exec() != QDialog::Accepted || OPD->selectedFiles().isEmpty())
            return;
        LoadFile(OPD->selectedFiles().first(), 1);
    });
}

void TForm1::ActionNextPageExecute()
{
    Messages::Guarded([this] {
        ShowPage(CurrentPage + 1);
        ShowFileInfo();
    });
    // A held Page Down can fire again before the loop goes idle.
    UpdateActions();
}

void TForm1::ActionPrevPageExecute()
{
    Messages::Guarded([this] {
        ShowPage(CurrentPage - 1);
        ShowFileInfo();
    });
    UpdateActions();
}

void TForm1::tb10Click()
{
    setDisplayMode(false);
}

void TForm1::tb16Click()
{
    setDisplayMode(true);
}

void TForm1::setDisplayMode(bool hex)
{
    // The pair behaves as two plain buttons of which exactly one stays pressed:
    // a click on the pressed one changes nothing and lists nothing again.
    const bool changed = hex != m_hex;
    m_hex = hex;
    ListModel->SetHexCaptions(m_hex);
    tb10->setChecked(!m_hex);
    tb16->setChecked(m_hex);
    if (changed && TiffFile)
        Messages::Guarded([this] { listAgain(); });
}

void TForm1::ActionCopyExecute()
{
    // Selected rows as tab-separated text, in list order, under the captions:
    // they tell which numbers are hexadecimal, and head the columns in a sheet.
    QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    QStringList captions;
    for (int c = 0; c < TTagListModel::ColumnCount; ++c)
        captions << ListModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    lines << captions.join(QLatin1Char('\t'));
    for (const QModelIndex& index : rows) {
        QStringList cells;
        const int count = static_cast<int>(ListModel->Rows()[static_cast<std::size_t>(index.row())].size());
        for (int c = 0; c < count; ++c)
            cells << ListModel->CellText(index.row(), c);
        lines << cells.join(QLatin1Char('\t'));
    }
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

int TForm1::selectedRow() const
{
    // The current row when it is selected (a click on the empty part selects none).
    const QModelIndex current = ListView1->currentIndex();
    return current.isValid() && ListView1->selectionModel()->isRowSelected(current.row(), {}) ? current.row() : -1;
}

void TForm1::ListView1DblClick()
{
    if (const int row = selectedRow(); row >= 0)
        Messages::Guarded([&] {
            if (!enterRow(row))
                editRow(row);
        });
}

// ---------------------------------------------------------------- update rules

void TForm1::UpdateActions()
{
    ActionNextPageUpdate();
    ActionPrevPageUpdate();
    ActionPrintUpdate();
    ActionLaunchViewerUpdate();
}

void TForm1::setNavigationImage(QAction* action, int image)
{
    // Only on a change: a new icon repaints, and a repaint would wake the
    // idle loop that runs these rules.
    if (action->data().toInt() == image)
        return;
    action->setData(image);
    action->setIcon(ImageList1(static_cast<TImage>(image)));
}

void TForm1::ActionNextPageUpdate()
{
    const bool enabled = TiffFile && TiffFile->PageCount() > 1 && CurrentPage < TiffFile->PageCount();
    ActionNextPage->setEnabled(enabled);
    setNavigationImage(ActionNextPage, enabled ? ImgNextPage : ImgNextPageDisabled);
}

void TForm1::ActionPrevPageUpdate()
{
    const bool enabled = TiffFile && TiffFile->PageCount() > 1 && CurrentPage > 1;
    ActionPrevPage->setEnabled(enabled);
    setNavigationImage(ActionPrevPage, enabled ? ImgPrevPage : ImgPrevPageDisabled);
}

void TForm1::ActionPrintUpdate()
{
    ActionPrint->setEnabled(TiffFile != nullptr);
}

void TForm1::ActionLaunchViewerUpdate()
{
    ActionLaunchViewer->setEnabled(TiffFile != nullptr);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a row does what a double click does, F2 always edits and
    // Backspace goes up a directory. Taken from the list's own key presses, so
    // Enter in a dialog never reaches it.
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ListView1DblClick();
            return true;
        }
        if (key == Qt::Key_F2) {
            if (const int row = selectedRow(); row >= 0)
                Messages::Guarded([&] { editRow(row); });
            return true;
        }
        if (key == Qt::Key_Backspace) {
            Messages::Guarded([this] { showParentDirectory(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (BatchTab->HasUnsavedResults() &&
        Messages::Ask(tr("The batch results have not been saved. Close Velquin all the same?")) != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------- dropped files

bool TForm1::event(QEvent* event)
{
    // Hints are tooltips; as status tips they would hide the three panels.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    WMDropFiles(urls.first().toLocalFile());
}

void TForm1::WMDropFiles(const QString& firstName)
{
    // Only the first file of a drop; a folder or a vanished name does nothing.
    if (isExistingFile(firstName))
        Messages::Guarded([&] { LoadFile(firstName, 1); });
}
