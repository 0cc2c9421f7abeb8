#pragma once

#include "ui/panebuffer.h"

#include <QAbstractScrollArea>
#include <QStackedWidget>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

class QPlainTextEdit;

// A run writes ten thousand lines and more; a QTextDocument takes some 3 µs a
// line to hold them whatever is done, three times what reading the files
// costs. So a run's results go into a plain store shown by a light view that
// lays out only the lines on screen, and the editor receives the text in one
// piece when the user first reaches for it (a click, a key, Tab).

/// The results as the pane would hold them: its raw text (lines separated by
/// U+2029, each line as paneTextFromRecord shows it) and where each line begins.
class TResultsStore {
public:
    /// Adds one record: a line, and one more for each line break inside a value.
    void Append(std::string_view record);
    void Clear();
    qsizetype LineCount() const { return static_cast<qsizetype>(m_starts.size()); }
    /// The text of one line, without its separator; index < LineCount().
    QStringView Line(qsizetype index) const;
    /// Characters in the longest line.
    qsizetype LongestLine() const { return m_longest; }
    /// As QTextDocument::toRawText would give it for the same lines.
    const QString& RawText() const { return m_text; }

private:
    void endLine(qsizetype end);

    QString m_text;
    std::vector<qsizetype> m_starts;
    qsizetype m_longest = 0;
};

/// Paints the lines of a store that are on screen, in the font and at the
/// margins of the editor it stands in for; scrolls by line and follows the
/// end while it shows the end. It edits nothing: the first sign that the user
/// wants the text is told by textWanted, with the event, which the receiver
/// may deliver again to the editor.
class TResultsView : public QAbstractScrollArea {
    Q_OBJECT
public:
    TResultsView(const TResultsStore& store, QWidget* parent = nullptr);

    /// The store has changed: new scroll ranges, and the end followed.
    void LinesChanged();
    qsizetype FirstVisibleLine() const;
    /// The lines that fit in the viewport at once.
    int VisibleLines() const;

signals:
    /// A click (and the drag after it), a key, focus by Tab or a context
    /// menu; event is null for focus.
    void textWanted(QEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The press made this view the mouse's grabber: the drag and the release
    // that follow it belong to the editor that took over.
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int lineHeight() const;
    void updateScrollBars();

    const TResultsStore& m_store;
    int m_margin = 4; ///< QTextDocument's default margin, so the text does not move when the editor comes in front
};

/// The results pane: the light view while a run fills the store, the editor
/// (RedtResults) once the user works with the text. Save, the "unsaved"
/// question and the Save action's rule ask here whichever is in front.
class TResultsPane : public QStackedWidget {
    Q_OBJECT
public:
    /// Takes editor as a child; the view takes its font.
    TResultsPane(QPlainTextEdit* editor, QWidget* parent = nullptr);

    /// Queues one record, shown as paneTextFromRecord shows it.
    void Append(std::string_view record);
    /// Shows what was queued: in the view, or appended to the editor.
    void Flush();
    /// Lines queued since the last Flush.
    int Pending() const;
    /// Empties the store and the editor and puts the view in front again.
    void Clear();

    bool IsEmpty() const;
    bool IsModified() const;
    void SetSaved();
    /// The bytes Save writes, as savedBytesFromPaneText of the text shown.
    std::string SavedBytes() const;
    /// Moves the store into the editor and puts the editor in front, at the
    /// line the view showed; nothing when it is there already.
    void Materialise();
    bool IsMaterialised() const { return m_materialised; }

    TResultsView* View() const { return m_view; }
    const TResultsStore& Store() const { return m_store; }

signals:
    /// The text changed: lines shown, or an edit in the editor.
    void textChanged();

private:
    void takeOver(QEvent* event);

    QPlainTextEdit* m_editor;
    TResultsStore m_store;
    TResultsView* m_view;
    TPaneBuffer m_editorLines; ///< lines for the editor once it is in front
    int m_pending = 0;
    bool m_modified = false; ///< as the document's flag would be
    bool m_materialised = false;
};
