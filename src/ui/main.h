#pragma once

#include "report/qt/reportprinter.h"
#include "shell/shellexecute.h"
#include "tiff/tiff.h"

#include <QMainWindow>

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class TBatchTab;
class TDetailPane;
class TDirectorySelector;
class TFileMap;
class TProblemsPane;
struct TCheckReport;
class TTagListModel;

/// The main window: the single-file view with its tag listing, page
/// navigation and display mode, and the host of every other command.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    /// args: the command-line arguments after the program name; the first,
    /// when it names an existing file, is opened.
    explicit TForm1(const QStringList& args = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- single-file view
    /// Replaces TiffFile by the file at path and lists page (1-based).
    /// A reader error propagates to the caller, with the listing cleared.
    void LoadFile(const QString& path, int page);
    void ShowPage(int page);
    /// Rewrites the status panels; a size that cannot be computed is said in its panel.
    void ShowFileInfo();
    /// Lists any directory of the file (an index in Directories): a page as
    /// ShowPage does, a directory below one in its own rows; the status bar
    /// then tells of its page. (maindirectory.cpp)
    void ShowDirectory(int index);
    /// Hexadecimal while tb16 is pressed.
    bool HexMode() const { return m_hex; }
    QString StatusText(int panel) const;
    void SetStatusText(int panel, const QString& text);

    std::unique_ptr<TTiffFile> TiffFile;
    int CurrentPage = 0;

    // ---- printing and launches (mainprint.cpp, mainlaunch.cpp)
    /// Where launches go; the desktop's unless set before the first launch.
    std::unique_ptr<TShell> Shell;
    /// Asks for the printer; a test puts an answer in place of the dialog.
    TPrintDialogRunner PrintDialog1 = ShowPrintDialog;
    /// The name last chosen in OPD, the calculator's parameter.
    QString LastOpenName;
    /// The report as the listing stands: rows, captions, on-screen widths.
    TReportSource ReportSource() const;

    // ---- controls, named as the rest of the program and the tests know them
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* tbPrevious = nullptr;
    QToolButton* tbNext = nullptr;
    QToolButton* tbLauchImageViewer = nullptr;
    QToolButton* tb10 = nullptr;
    QToolButton* tb16 = nullptr;
    QToolButton* tbtnPrint = nullptr;
    QToolButton* tbCalc = nullptr;
    QToolButton* tnInternet = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheetInfo = nullptr;
    QWidget* TabSheetBatch = nullptr;
    TBatchTab* BatchTab = nullptr;
    QTreeView* ListView1 = nullptr;
    TTagListModel* ListModel = nullptr;
    TDirectorySelector* DirectorySelector = nullptr;
    QSplitter* InfoSplitter = nullptr; ///< the listing above, the detail pane below
    TDetailPane* DetailPane = nullptr;
    TProblemsPane* ProblemsPane = nullptr; ///< under the detail pane; hidden without findings
    TFileMap* FileMap = nullptr;           ///< the bar under the splitter
    QFileDialog* OPD = nullptr;

    QAction* Open1 = nullptr;
    QAction* Saveas1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* AboutVelquin1 = nullptr;
    QAction* Emailsupport1 = nullptr;
    QAction* ActionNextPage = nullptr;
    QAction* ActionPrevPage = nullptr;
    QAction* ActionLaunchViewer = nullptr;
    QAction* ActionPrint = nullptr;
    QAction* ActionCalculator = nullptr;
    QAction* ActionStartHomepage = nullptr;
    QAction* ActionCopy = nullptr;
    QAction* ActionDecimal = nullptr; ///< Ctrl+D: as tb10
    QAction* ActionHex = nullptr;     ///< Ctrl+H: as tb16

public slots:
    void Open1Click();
    void ActionNextPageExecute();
    void ActionPrevPageExecute();
    void tb10Click();
    void tb16Click();
    /// Runs every action's update rule; called whenever the event loop goes idle.
    void UpdateActions();
    void ActionNextPageUpdate();
    void ActionPrevPageUpdate();
    void ActionPrintUpdate();
    void ActionLaunchViewerUpdate();
    void ActionCopyExecute();
    /// Enters the directory the row's entry points to, or opens the editor.
    void ListView1DblClick();
    void DirectorySelectorChange(int index);
    /// The detail pane follows the current row.
    void ListView1SelectionChange();
    void ActionPrintExecute();
    void ActionLaunchViewerExecute();
    void ActionCalculatorExecute();
    void ActionStartHomepageExecute();
    void Emailsupport1Click();
    void AboutVelquin1Click();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Asks before results of a batch run that were never saved are lost.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate(const QStringList& args);
    void ListTags(int page);
    void WMDropFiles(const QString& firstName);
    void createActions();
    void createMenus();
    void createToolBar();
    void createPages();
    void createStatusBar();
    void connectSignals();
    void connectOutsideCommands();
    TShell& shell();
    void setDisplayMode(bool hex);
    /// The current row of ListView1 when it is selected, else -1.
    int selectedRow() const;
    // ---- the directory tree (maindirectory.cpp)
    void listDirectory(std::size_t index);
    /// Index of the row's entry in the directory on view, if it is an entry row.
    std::optional<std::size_t> entryOfRow(int row) const;
    /// Shows the directory the row's entry points to; false when it names none.
    bool enterRow(int row);
    /// The editor for a page's row; a refusal for a row of a directory below a page.
    void editRow(int row);
    void showParentDirectory();
    /// The page or directory on view, listed again (after a display-mode change).
    void listAgain();
    // ---- what is wrong with the file (mainproblems.cpp)
    /// Checks the file just opened and hands the findings to the panes.
    void checkOpenFile();
    /// Makes room for the Problems pane when it appears.
    void giveProblemsRoom();
    /// Forgets the findings, before the file they speak of goes.
    void forgetCheck();
    /// Marks the Nr cells of the listed entries that have findings.
    void markProblemRows();
    /// " - 3 problems" after the file's name; empty without findings.
    QString problemsText() const;
    /// Lists directory (an index in Directories; -1: the one on view) and
    /// selects the entry's row, or the header rows for the file as a whole.
    void showPlace(int directory, int entry);
    void setNavigationImage(QAction* action, int image);
    /// "Velquin V5 - name.tif" after a file opened, "Velquin V5" after a failure.
    void updateTitle(bool opened);

    bool m_hex = false;
    /// The directory on view, an index in Directories; nothing before a listing.
    std::optional<std::size_t> m_directory;
    /// It is a directory below a page, listed in its own rows.
    bool m_subDirectory = false;
    /// What the reader reported of the open file: why a directory went unread.
    std::vector<TReaderMessage> m_readerMessages;
    /// The findings of the open file; none when it could not be checked.
    std::unique_ptr<TCheckReport> m_check;
    std::array<QLabel*, 3> m_panels{};
    /// What the Pages panel says for the view, to restore after a batch run.
    QString m_pagesText = QStringLiteral("Pages");
};
