#include "ui/batchtab.h"

#include "batch/atomicfile.h"
#include "batch/dirlisting.h"
#include "batch/treecount.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"
#include "ui/elidedlabel.h"
#include "ui/imagelist.h"
#include "ui/messages.h"
#include "ui/tagnumberfield.h"
#include "ui/tagsearchmodel.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

/// The character a key press would type, as the key filter judges it: Ctrl
/// with a letter types a control character; 0 for keys that type nothing
/// (arrows, Delete, function keys), which the filter leaves alone.
char32_t typedCharacter(const QKeyEvent& key)
{
    if ((key.modifiers() & Qt::ControlModifier) && key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z)
        return static_cast<char32_t>(key.key() - Qt::Key_A + 1);
    if (key.key() == Qt::Key_Backspace)
        return 8;
    if (key.key() == Qt::Key_Delete || key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)
        return 0;
    const QString text = key.text();
    return text.isEmpty() ? 0 : text.toUcs4().value(0);
}

} // namespace

TBatchTab::TBatchTab(QWidget* parent)
    : QWidget(parent), m_model(new TTagSearchListModel(this)), m_run(m_model->List(), *this)
{
    setObjectName(QStringLiteral("BatchTab"));
    createActions();
    createControls();
    connectSignals();
    UpdateActions();
}

TBatchTab::~TBatchTab() = default;

// ---------------------------------------------------------------- building the tab

void TBatchTab::createActions()
{
    auto make = [this](const char* name, const QString& text, TImage image) {
        auto* a = new QAction(ImageList1(image), text, this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    ActionAddNewTag = make("ActionAddNewTag", tr("Add"), ImgAdd);
    ActionDeleteTag = make("ActionDeleteTag", tr("Delete"), ImgDelete);
    ActionSortTags = make("ActionSortTags", tr("Sort"), ImgSort);
    ActionMoveUp = make("ActionMoveUp", tr("Move up"), ImgMoveUp);
    ActionMoveDown = make("ActionMoveDown", tr("Move down"), ImgMoveDown);
    ActionStartRetrieve = make("ActionStartRetrieve", tr("Start"), ImgStart);
    ActionSaveResults = make("ActionSaveResults", tr("Save results"), ImgSave);
}

void TBatchTab::createControls()
{
    // A push button that follows its action, as an action-linked button does.
    auto actionButton = [this](QAction* action, const char* name) {
        auto* b = new QPushButton(action->icon(), action->text(), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, b, [b, action] { b->setEnabled(action->isEnabled()); });
        return b;
    };
    auto speedButton = [this](QAction* action, const char* name) {
        auto* b = new QToolButton(this);
        b->setDefaultAction(action);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(true);
        return b;
    };
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    auto* heading = new QLabel(tr("Retrieve tag information from tiff files"), this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);

    // ---- the tag search list
    GroupBox1 = new QGroupBox(tr("Tags Searchlist"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    listboxTags = new QListView(GroupBox1);
    listboxTags->setObjectName(QStringLiteral("listboxTags"));
    listboxTags->setModel(m_model);
    listboxTags->setSelectionMode(QAbstractItemView::SingleSelection);
    listboxTags->setEditTriggers(QAbstractItemView::NoEditTriggers);
    edtTagNumber = new QLineEdit(GroupBox1);
    edtTagNumber->setObjectName(QStringLiteral("edtTagNumber"));
    edtTagNumber->installEventFilter(this);
    edtTagNumber->setValidator(new TTagNumberValidator(edtTagNumber));
    edtTagDescription = new QLineEdit(GroupBox1);
    edtTagDescription->setObjectName(QStringLiteral("edtTagDescription"));
    BitBtnAddTagEntry = actionButton(ActionAddNewTag, "BitBtnAddTagEntry");
    BitBtnDeleteTagEntry = actionButton(ActionDeleteTag, "BitBtnDeleteTagEntry");
    spbtnSort = speedButton(ActionSortTags, "spbtnSort");
    spbtnSort->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnReset = new QPushButton(tr("Reset"), this);
    btnReset->setObjectName(QStringLiteral("btnReset"));
    spBtnMoveTagUp = speedButton(ActionMoveUp, "spBtnMoveTagUp");
    spBtnMoveTagDown = speedButton(ActionMoveDown, "spBtnMoveTagDown");
    cmbbxSeperator = new QComboBox(GroupBox1);
    cmbbxSeperator->setObjectName(QStringLiteral("cmbbxSeperator"));
    cmbbxSeperator->setEditable(true);
    cmbbxSeperator->setInsertPolicy(QComboBox::NoInsert);
    cmbbxSeperator->addItems({QStringLiteral(","), QStringLiteral(";")});
    cmbbxSeperator->setCurrentIndex(0);
    SpeedButton2 = speedButton(ActionSaveResults, "SpeedButton2");
    // Paths of any length: shortened in the middle rather than widening the window.
    Label3 = new TElidedLabel(QString(), GroupBox1);
    Label3->setObjectName(QStringLiteral("Label3"));

    auto* moveButtons = new QVBoxLayout;
    moveButtons->addStretch();
    moveButtons->addWidget(spBtnMoveTagUp);
    moveButtons->addWidget(spBtnMoveTagDown);
    moveButtons->addStretch();
    auto* fields = new QGridLayout;
    fields->addWidget(label(tr("Tag nr"), edtTagNumber), 0, 0);
    fields->addWidget(edtTagNumber, 0, 1);
    fields->addWidget(label(tr("Description"), edtTagDescription), 1, 0);
    fields->addWidget(edtTagDescription, 1, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(BitBtnAddTagEntry);
    listButtons->addWidget(BitBtnDeleteTagEntry);
    listButtons->addWidget(spbtnSort);
    listButtons->addWidget(btnReset);
    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(label(tr("Seperator"), cmbbxSeperator));
    separatorRow->addWidget(cmbbxSeperator);
    separatorRow->addStretch();
    separatorRow->addWidget(SpeedButton2);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(listboxTags, 1);
    listRow->addLayout(moveButtons);
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addLayout(listRow, 1);
    groupLayout->addLayout(fields);
    groupLayout->addLayout(listButtons);
    groupLayout->addLayout(separatorRow);
    groupLayout->addWidget(Label3);

    // ---- where to start, what to write, and the run
    edtStartDir = new QLineEdit(QDir::homePath(), this); // until a file is opened; see SetDefaultStartDir
    edtStartDir->setObjectName(QStringLiteral("edtStartDir"));
    spdBtnStartingDir = new QToolButton(this);
    spdBtnStartingDir->setObjectName(QStringLiteral("spdBtnStartingDir"));
    spdBtnStartingDir->setIcon(ImageList1(ImgFolder));
    spdBtnStartingDir->setAutoRaise(true);
    spdBtnStartingDir->setToolTip(tr("Choose the starting directory"));

    GroupBoxExportOptions = new QGroupBox(tr("Export options"), this);
    GroupBoxExportOptions->setObjectName(QStringLiteral("GroupBoxExportOptions"));
    auto check = [this](const char* name, const QString& text) {
        auto* c = new QCheckBox(text, GroupBoxExportOptions);
        c->setObjectName(QString::fromLatin1(name));
        c->setChecked(true);
        return c;
    };
    cbAddDescription = check("cbAddDescription", tr("Add tag description"));
    cbIncludeRoot = check("cbIncludeRoot", tr("Include Starting Dir"));
    cbIncludeSubDirectories = check("cbIncludeSubDirectories", tr("Include subdirectories"));
    cbTrimValue = check("cbTrimValue", tr("Trim ascii values"));
    cbAllPages = check("cbAllPages", tr("All pages in \"Multi page Tiff's\""));
    auto* optionsLayout = new QVBoxLayout(GroupBoxExportOptions);
    for (QCheckBox* c : {cbAddDescription, cbIncludeRoot, cbIncludeSubDirectories, cbTrimValue, cbAllPages})
        optionsLayout->addWidget(c);

    edtCounter = new QLineEdit(QStringLiteral("0"), this);
    edtCounter->setObjectName(QStringLiteral("edtCounter"));
    edtCounter->setReadOnly(true);
    edtCounter->setToolTip(tr("Show amount of files counted"));
    edtPages = new QLineEdit(QStringLiteral("0"), this);
    edtPages->setObjectName(QStringLiteral("edtPages"));
    auto counter = [this](const char* name, const QString& tip) {
        auto* c = new QLineEdit(QStringLiteral("0"), this);
        c->setObjectName(QString::fromLatin1(name));
        c->setReadOnly(true);
        c->setToolTip(tip);
        return c;
    };
    edtDamaged = counter("edtDamaged", tr("Files read whose structure is damaged: the log says where"));
    edtNotRead = counter("edtNotRead", tr("Files and folders that could not be read: the log says why"));

    BitBtnStart = actionButton(ActionStartRetrieve, "BitBtnStart");
    btnStop = new QPushButton(ImageList1(ImgStop), tr("Stop"), this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setEnabled(false);
    BitBtnClose = new QPushButton(tr("&Close"), this);
    BitBtnClose->setObjectName(QStringLiteral("BitBtnClose"));

    auto* startRow = new QHBoxLayout;
    startRow->addWidget(edtStartDir, 1);
    startRow->addWidget(spdBtnStartingDir);
    auto* counters = new QGridLayout;
    counters->addWidget(label(tr("Counter"), edtCounter), 0, 0);
    counters->addWidget(edtCounter, 0, 1);
    counters->addWidget(label(tr("Pages"), edtPages), 1, 0);
    counters->addWidget(edtPages, 1, 1);
    counters->addWidget(label(tr("Damaged"), edtDamaged), 0, 2);
    counters->addWidget(edtDamaged, 0, 3);
    counters->addWidget(label(tr("Not read"), edtNotRead), 1, 2);
    counters->addWidget(edtNotRead, 1, 3);
    auto* runButtons = new QHBoxLayout;
    runButtons->addWidget(BitBtnStart);
    runButtons->addWidget(btnStop);
    runButtons->addWidget(BitBtnClose);
    auto* right = new QVBoxLayout;
    right->addWidget(label(tr("Starting directory"), edtStartDir));
    right->addLayout(startRow);
    right->addWidget(GroupBoxExportOptions);
    right->addLayout(counters);
    right->addStretch();
    right->addLayout(runButtons);

    // ---- the results
    RedtResults = new QPlainTextEdit(this);
    RedtResults->setObjectName(QStringLiteral("RedtResults"));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    RedtResults->setFont(courier);
    RedtResults->setLineWrapMode(QPlainTextEdit::NoWrap);
    RedtResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RedtResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_resultsPane = new TResultsPane(RedtResults, this);

    // The run's log: what was damaged or could not be read, one line each.
    btnLog = new QToolButton(this);
    btnLog->setObjectName(QStringLiteral("btnLog"));
    btnLog->setText(tr("Log"));
    btnLog->setCheckable(true);
    btnLog->setChecked(true);
    btnLog->setAutoRaise(true);
    btnLog->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnLog->setToolTip(tr("Show or hide the log of damaged files and files not read"));
    RedtLog = new QPlainTextEdit(this);
    RedtLog->setObjectName(QStringLiteral("RedtLog"));
    RedtLog->setReadOnly(true);
    // Lines can be selected and copied from the keyboard too, which shows a cursor where the focus is.
    RedtLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RedtLog->setFont(courier);
    RedtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_log = std::make_unique<TPaneBuffer>(RedtLog);
    setLogShown(true);

    StatusBar2 = new QStatusBar(this);
    StatusBar2->setObjectName(QStringLiteral("StatusBar2"));
    StatusBar2->setSizeGripEnabled(false);
    m_status =
        new TElidedLabel(QString::fromUtf8(batchtext::StatusIdle.data(), batchtext::StatusIdle.size()), StatusBar2);
    m_status->setObjectName(QStringLiteral("StatusBar2Panel0"));
    StatusBar2->addWidget(m_status, 1);
    ProgressBar1 = new QProgressBar(StatusBar2);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false); // until a run has files to count
    ProgressBar1->setFormat(tr("%v of %m files"));
    // Room for the text of a run over millions of files, which would wrap
    // inside the bar's default width.
    ProgressBar1->setMinimumWidth(ProgressBar1->fontMetrics().horizontalAdvance(tr("%1 of %1 files").arg(9999999)) +
                                  2 * ProgressBar1->fontMetrics().height());
    StatusBar2->addPermanentWidget(ProgressBar1);
    lblElapsed = new QLabel(StatusBar2);
    lblElapsed->setObjectName(QStringLiteral("lblElapsed"));
    StatusBar2->addPermanentWidget(lblElapsed);

    auto* top = new QHBoxLayout;
    top->addWidget(GroupBox1, 1);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(top);
    layout->addWidget(label(tr("Result:"), RedtResults));
    layout->addWidget(m_resultsPane, 3);
    layout->addWidget(btnLog);
    layout->addWidget(RedtLog, 1);
    layout->addWidget(StatusBar2);

    SaveDialog1 = new QFileDialog(this, tr("Save results"));
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite); // the file is replaced without a question
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);

    StartDirDialog = new QFileDialog(this, tr("Starting directory"));
    StartDirDialog->setObjectName(QStringLiteral("StartDirDialog"));
    StartDirDialog->setOption(QFileDialog::DontUseNativeDialog);
    StartDirDialog->setOption(QFileDialog::ShowDirsOnly);
    StartDirDialog->setOption(QFileDialog::ReadOnly); // no new folders from here
    StartDirDialog->setFileMode(QFileDialog::Directory);
}

void TBatchTab::connectSignals()
{
    connect(ActionAddNewTag, &QAction::triggered, this, &TBatchTab::ActionAddNewTagExecute);
    connect(ActionDeleteTag, &QAction::triggered, this, &TBatchTab::ActionDeleteTagExecute);
    connect(ActionSortTags, &QAction::triggered, this, &TBatchTab::ActionSortTagsExecute);
    connect(ActionMoveUp, &QAction::triggered, this, &TBatchTab::ActionMoveUpExecute);
    connect(ActionMoveDown, &QAction::triggered, this, &TBatchTab::ActionMoveDownExecute);
    connect(ActionStartRetrieve, &QAction::triggered, this, &TBatchTab::ActionStartRetrieveExecute);
    connect(ActionSaveResults, &QAction::triggered, this, &TBatchTab::ActionSaveResultsExecute);
    connect(btnReset, &QPushButton::clicked, this, &TBatchTab::btnResetClick);
    connect(btnStop, &QPushButton::clicked, this, &TBatchTab::btnStopClick);
    connect(btnLog, &QToolButton::toggled, this, &TBatchTab::setLogShown);
    connect(spdBtnStartingDir, &QToolButton::clicked, this, &TBatchTab::spdBtnStartingDirClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TBatchTab::closeRequested);
    // The list's selection is the highlighted row, not the current one: a click
    // on empty space or a Ctrl+click clears the highlight and keeps the current.
    connect(listboxTags->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_syncingSelection)
            return;
        const QModelIndexList rows = listboxTags->selectionModel()->selectedRows();
        m_model->Select(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(edtTagDescription, &QLineEdit::returnPressed, this, &TBatchTab::addFromReturn);
    connect(edtStartDir, &QLineEdit::textEdited, this, [this] { m_startDirChosen = true; });
    // Update rules run whenever the event loop has nothing left to do.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TBatchTab::UpdateActions);
}

// ---------------------------------------------------------------- the tag search list

template <class F> void TBatchTab::changeList(F&& operation)
{
    m_syncingSelection = true;
    m_model->Change(std::forward<F>(operation));
    showListSelection();
    m_syncingSelection = false;
}

void TBatchTab::showListSelection()
{
    const int row = m_model->List().Selected();
    QItemSelectionModel* selection = listboxTags->selectionModel();
    if (row < 0) {
        selection->clear();
        return;
    }
    selection->setCurrentIndex(m_model->index(row), QItemSelectionModel::ClearAndSelect);
}

void TBatchTab::btnResetClick()
{
    changeList([](TTagSearchList& list) { list.Reset(); });
}

void TBatchTab::ActionAddNewTagExecute()
{
    const std::string number = edtTagNumber->text().toStdString();
    const std::string title = edtTagDescription->text().toStdString();
    changeList([&](TTagSearchList& list) { list.Add(number, title); });
}

void TBatchTab::ActionDeleteTagExecute()
{
    changeList([](TTagSearchList& list) { list.DeleteSelected(); });
}

void TBatchTab::ActionSortTagsExecute()
{
    changeList([](TTagSearchList& list) { list.Sort(); });
}

void TBatchTab::ActionMoveUpExecute()
{
    changeList([](TTagSearchList& list) { list.MoveUp(); });
}

void TBatchTab::ActionMoveDownExecute()
{
    changeList([](TTagSearchList& list) { list.MoveDown(); });
}

void TBatchTab::addFromReturn()
{
    UpdateActions();
    if (ActionAddNewTag->isEnabled())
        ActionAddNewTag->trigger();
}

bool TBatchTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edtTagNumber && event->type() == QEvent::KeyPress) {
        // Only digits and backspace may be typed; pasting is not typing, and
        // the editing commands (Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+Z...) type nothing.
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (IsEditingShortcut(key))
            return false;
        const char32_t typed = typedCharacter(key);
        return typed != 0 && !TagNumberKeyPasses(typed);
    }
    if (watched == window() && event->type() == QEvent::Close && m_running) {
        // Closing the window during a run stops it first; the window closes at its end.
        m_run.RequestStop();
        m_closeAfterRun = true;
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- starting directory and saving

void TBatchTab::SetDefaultStartDir(const QString& directory)
{
    m_defaultStartDir = directory;
    if (!m_startDirChosen)
        edtStartDir->setText(directory);
}

QString TBatchTab::startDirOrDefault() const
{
    const QString typed = edtStartDir->text();
    return IsExistingDirectory(typed.toStdString()) ? typed : m_defaultStartDir;
}

void TBatchTab::spdBtnStartingDirClick()
{
    // Where the user is working, rather than wherever the program was started from.
    StartDirDialog->setDirectory(startDirOrDefault());
    if (StartDirDialog->exec() != QDialog::Accepted || StartDirDialog->selectedFiles().isEmpty())
        return;
    edtStartDir->setText(QDir::toNativeSeparators(StartDirDialog->selectedFiles().first()));
    m_startDirChosen = true;
}

bool TBatchTab::HasUnsavedResults() const
{
    return !m_resultsPane->IsEmpty() && m_resultsPane->IsModified();
}

std::string TBatchTab::ResultsBytes() const
{
    return m_resultsPane->SavedBytes();
}

void TBatchTab::ActionSaveResultsExecute()
{
    Messages::Guarded([this] {
        // Separated values: a name a spreadsheet opens, unless the user types another.
        SaveDialog1->selectFile(
            m_savedName.isEmpty() ? QDir(startDirOrDefault()).filePath(QStringLiteral("results.csv")) : m_savedName);
        if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty())
            return;
        const std::string path = SaveDialog1->selectedFiles().first().toStdString();
        // Written beside the file and renamed over it once whole: a full disk
        // leaves the old results as they were, and the message says why.
        TAtomicFile file(path);
        if (!file.Write(ResultsBytes()) || !file.Commit())
            throw EVelquinError(file.FailureText());
        m_resultsPane->SetSaved();
        m_savedName = SaveDialog1->selectedFiles().first();
    });
}

// ---------------------------------------------------------------- update rules

void TBatchTab::UpdateActions()
{
    // A run switches the controls itself; message boxes inside it go idle too.
    if (m_running)
        return;
    const TTagSearchList& list = m_model->List();
    ActionAddNewTag->setEnabled(TTagSearchList::CanAdd(edtTagNumber->text().toStdString()));
    ActionDeleteTag->setEnabled(list.CanDelete());
    ActionSortTags->setEnabled(list.CanSort());
    ActionMoveUp->setEnabled(list.CanMoveUp());
    ActionMoveDown->setEnabled(list.CanMoveDown());
    ActionStartRetrieve->setEnabled(IsExistingDirectory(edtStartDir->text().toStdString()));
    ActionSaveResults->setEnabled(!m_resultsPane->IsEmpty());
}
