#pragma once

#include "batch/batchrun.h"
#include "ui/panebuffer.h"
#include "ui/resultsview.h"

#include <QDir>
#include <QElapsedTimer>
#include <QWidget>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QToolButton;
class TTagSearchListModel;
class TTreeCount;

/// The Batch tab: the tag search list, the export options and the batch run
/// with its results pane and its log. The run is the core's TBatchRun; this
/// tab is its host, and keeps the window responsive by running the event loop
/// where the run yields.
///
/// A run tells the tab of every file, thousands a second, and drawing is what
/// costs: so the tab only notes what the run tells, and shows it (lines,
/// counters, paths, progress) every RefreshInterval, while it lets the event
/// loop run often enough that Stop is heard at once. Messages about damaged
/// or unreadable files go to the log below the results, never to a box that
/// would hold the run.
class TBatchTab : public QWidget, private TBatchHost {
    Q_OBJECT
public:
    explicit TBatchTab(QWidget* parent = nullptr);
    ~TBatchTab() override;

    TTagSearchListModel* SearchList() const { return m_model; }
    /// The results: the run's store and its view, and RedtResults.
    TResultsPane* ResultsPane() const { return m_resultsPane; }
    bool IsRunning() const { return m_running; }
    /// The text of the batch status line.
    QString BatchStatusText() const;
    /// The bytes Save writes for the pane as it stands.
    std::string ResultsBytes() const;
    /// The pane holds text changed since it was last saved.
    bool HasUnsavedResults() const;
    /// The folder of the open file: the starting directory until the user
    /// types or chooses one, and where the choosers begin when the field
    /// names no directory.
    void SetDefaultStartDir(const QString& directory);
    /// How often a run shows its progress, 100 ms unless set; 0 shows each
    /// file and line as the run tells them and runs the event loop at each of
    /// the run's yields, for tests that act at a given file.
    void SetRefreshInterval(int milliseconds) { m_refreshInterval = milliseconds; }

    // ---- controls, named as the rest of the program and the tests know them
    QGroupBox* GroupBox1 = nullptr;
    QListView* listboxTags = nullptr;
    QLineEdit* edtTagNumber = nullptr;
    QLineEdit* edtTagDescription = nullptr;
    QPushButton* BitBtnAddTagEntry = nullptr;
    QPushButton* BitBtnDeleteTagEntry = nullptr;
    QToolButton* spbtnSort = nullptr;
    QPushButton* btnReset = nullptr;
    QToolButton* spBtnMoveTagUp = nullptr;
    QToolButton* spBtnMoveTagDown = nullptr;
    QComboBox* cmbbxSeperator = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* edtStartDir = nullptr;
    QToolButton* spdBtnStartingDir = nullptr;
    QGroupBox* GroupBoxExportOptions = nullptr;
    QCheckBox* cbAddDescription = nullptr;
    QCheckBox* cbIncludeRoot = nullptr;
    QCheckBox* cbIncludeSubDirectories = nullptr;
    QCheckBox* cbTrimValue = nullptr;
    QCheckBox* cbAllPages = nullptr;
    QLineEdit* edtCounter = nullptr;
    QLineEdit* edtPages = nullptr;
    QLineEdit* edtDamaged = nullptr;
    QLineEdit* edtNotRead = nullptr;
    QPushButton* BitBtnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QPlainTextEdit* RedtResults = nullptr;
    QToolButton* btnLog = nullptr; ///< shows and hides the log
    QPlainTextEdit* RedtLog = nullptr;
    QStatusBar* StatusBar2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblElapsed = nullptr;
    QFileDialog* SaveDialog1 = nullptr;
    QFileDialog* StartDirDialog = nullptr;

    QAction* ActionAddNewTag = nullptr;
    QAction* ActionDeleteTag = nullptr;
    QAction* ActionSortTags = nullptr;
    QAction* ActionMoveUp = nullptr;
    QAction* ActionMoveDown = nullptr;
    QAction* ActionStartRetrieve = nullptr;
    QAction* ActionSaveResults = nullptr;

signals:
    /// A file was read: its full path, for the main window's status bar.
    void fileRead(const QString& path);
    /// The Close button: the main window closes.
    void closeRequested();
    /// A run has ended, however it ended.
    void runFinished();

public slots:
    void ActionStartRetrieveExecute();
    void btnStopClick();
    void spdBtnStartingDirClick();
    void ActionSaveResultsExecute();
    void btnResetClick();
    void ActionAddNewTagExecute();
    void ActionDeleteTagExecute();
    void ActionSortTagsExecute();
    void ActionMoveUpExecute();
    void ActionMoveDownExecute();

    /// Runs the update rules; called whenever the event loop goes idle, never during a run.
    void UpdateActions();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // TBatchHost: what the run shows and asks.
    std::string Separator() override;
    void ClearResults() override;
    void AppendResultLine(const std::string& line) override;
    void ShowCounters(std::int64_t files, std::int64_t pages) override;
    void ShowStatus(const std::string& text) override;
    void ShowFile(const std::string& path) override;
    void ShowRefusal(const std::string& text) override;
    void ShowReaderMessage(const std::string& path, const TReaderMessage& message) override;
    void ProcessMessages() override;
    void NotTiff(const std::string& path, const std::string& reason) override;
    void NotRead(const std::string& path, const std::string& reason) override;
    void ShowProgress(std::int64_t done, std::int64_t found, bool walkComplete) override;

    /// The run's view: reset at Start, shown when due, and once more at the end.
    void beginRunView();
    void refreshIfDue();
    void refreshRunView();
    void endRunView();
    void showProgressBar();
    void setLogShown(bool shown);

    void createActions();
    void createControls();
    void connectSignals();
    void DisableBatchControls();
    void EnableBatchControls();
    void setBatchControlsEnabled(bool enabled);
    /// Runs a list operation and shows the list's selection afterwards.
    template <class F> void changeList(F&& operation);
    void showListSelection();
    /// Enter in Description: Add, when Add's rule allows it.
    void addFromReturn();
    QString startDirOrDefault() const;
    TBatchOptions currentOptions() const;

    TTagSearchListModel* m_model = nullptr;
    TBatchRun m_run;
    QLabel* m_status = nullptr;
    TResultsPane* m_resultsPane = nullptr;
    std::unique_ptr<TPaneBuffer> m_log;

    // What the run has told since the view was last refreshed.
    int m_refreshInterval = 100;
    QElapsedTimer m_runClock;
    qint64 m_lastRefresh = 0;
    qint64 m_lastEvents = 0;
    std::string m_file;
    bool m_fileChanged = false;
    std::string m_statusText;
    bool m_statusChanged = false;
    std::int64_t m_done = 0;
    std::int64_t m_found = 0;
    bool m_walkComplete = false;
    std::unique_ptr<TTreeCount> m_treeCount;
    bool m_running = false;
    bool m_syncingSelection = false;
    bool m_closeAfterRun = false;
    bool m_startDirChosen = false;
    QString m_defaultStartDir = QDir::homePath();
    QString m_savedName;
};
