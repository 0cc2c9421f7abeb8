#include "ui/resultsview.h"

#include "ui/resultstext.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <climits>
#include <memory>

// ---------------------------------------------------------------- the store

void TResultsStore::Append(std::string_view record)
{
    if (!m_starts.empty())
        m_text += QChar(QChar::ParagraphSeparator);
    const qsizetype start = m_text.size();
    m_starts.push_back(start);
    appendPaneText(m_text, record);
    // A CR LF inside a value is a '\n' in the pane's text, and a line of its own.
    if (record.find("\r\n") != std::string_view::npos) {
        for (qsizetype i = start; i < m_text.size(); ++i) {
            if (m_text.at(i) == QLatin1Char('\n')) {
                m_text[i] = QChar(QChar::ParagraphSeparator);
                endLine(i);
                m_starts.push_back(i + 1);
            }
        }
    }
    endLine(m_text.size());
}

void TResultsStore::endLine(qsizetype end)
{
    m_longest = std::max(m_longest, end - m_starts.back());
}

void TResultsStore::Clear()
{
    m_text = QString(); // gives the memory back: a run may have held megabytes
    m_starts = {};
    m_longest = 0;
}

QStringView TResultsStore::Line(qsizetype index) const
{
    const auto i = static_cast<std::size_t>(index);
    const qsizetype end = i + 1 < m_starts.size() ? m_starts[i + 1] - 1 : m_text.size();
    return QStringView(m_text).sliced(m_starts[i], end - m_starts[i]);
}

// ---------------------------------------------------------------- the view

TResultsView::TResultsView(const TResultsStore& store, QWidget* parent) : QAbstractScrollArea(parent), m_store(store)
{
    setObjectName(QStringLiteral("ResultsView"));
    setAccessibleName(tr("Results"));
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(1);
}

int TResultsView::lineHeight() const
{
    return std::max(1, fontMetrics().height());
}

int TResultsView::VisibleLines() const
{
    return std::max(1, (viewport()->height() - 2 * m_margin) / lineHeight());
}

qsizetype TResultsView::FirstVisibleLine() const
{
    return verticalScrollBar()->value();
}

void TResultsView::LinesChanged()
{
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    updateScrollBars();
    if (atEnd)
        bar->setValue(bar->maximum());
    viewport()->update();
}

void TResultsView::updateScrollBars()
{
    // Lines past INT_MAX cannot be scrolled to; no file tree gives that many.
    const auto lines = static_cast<int>(std::min<qsizetype>(m_store.LineCount(), INT_MAX));
    const int visible = VisibleLines();
    verticalScrollBar()->setRange(0, std::max(0, lines - visible));
    verticalScrollBar()->setPageStep(visible);
    // A width estimate: the longest line at the widest character of the font.
    const qint64 width =
        static_cast<qint64>(m_store.LongestLine()) * fontMetrics().maxWidth() + 2 * m_margin - viewport()->width();
    horizontalScrollBar()->setRange(0, static_cast<int>(std::clamp<qint64>(width, 0, INT_MAX)));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
}

void TResultsView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const int height = lineHeight();
    const int left = m_margin - horizontalScrollBar()->value();
    // Characters drawn at most: those up to the right edge in the fixed pitch
    // and a few more, so a line of megabytes is never laid out whole.
    const qsizetype shown =
        (horizontalScrollBar()->value() + viewport()->width()) / std::max(1, fontMetrics().averageCharWidth()) + 8;
    QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
    option.setWrapMode(QTextOption::NoWrap);
    const qsizetype first = FirstVisibleLine();
    const qsizetype last = std::min(m_store.LineCount(), first + VisibleLines() + 2);
    // As the editor: the margin above the first line only, not above the first one shown.
    const int top = first == 0 ? m_margin : 0;
    for (qsizetype i = first; i < last; ++i) {
        const QRectF row(left, top + (i - first) * height, INT_MAX / 2, height);
        painter.drawText(row, m_store.Line(i).left(shown).toString(), option);
    }
}

void TResultsView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    LinesChanged();
}

void TResultsView::mousePressEvent(QMouseEvent* event)
{
    emit textWanted(event);
}

void TResultsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit textWanted(event);
}

void TResultsView::mouseMoveEvent(QMouseEvent* event)
{
    emit textWanted(event);
}

void TResultsView::mouseReleaseEvent(QMouseEvent* event)
{
    emit textWanted(event);
}

void TResultsView::keyPressEvent(QKeyEvent* event)
{
    // A modifier alone is not yet a wish: it may begin Ctrl+Tab or Alt+F.
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    default:
        emit textWanted(event);
    }
}

void TResultsView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    // Focus that was handed over (the editor went away at Clear) is no wish.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
        emit textWanted(nullptr);
}

void TResultsView::contextMenuEvent(QContextMenuEvent* event)
{
    emit textWanted(event);
}

// ---------------------------------------------------------------- the pane

TResultsPane::TResultsPane(QPlainTextEdit* editor, QWidget* parent)
    : QStackedWidget(parent), m_editor(editor), m_view(new TResultsView(m_store, this)), m_editorLines(editor)
{
    setObjectName(QStringLiteral("ResultsPane"));
    m_view->setFont(editor->font());
    m_view->setFrameStyle(editor->frameStyle());
    m_view->setHorizontalScrollBarPolicy(editor->horizontalScrollBarPolicy());
    m_view->setVerticalScrollBarPolicy(editor->verticalScrollBarPolicy());
    addWidget(m_view);
    addWidget(editor);
    setCurrentWidget(m_view);
    connect(m_view, &TResultsView::textWanted, this, &TResultsPane::takeOver);
    connect(editor, &QPlainTextEdit::textChanged, this, &TResultsPane::textChanged);
}

void TResultsPane::Append(std::string_view record)
{
    if (m_materialised) {
        m_editorLines.Append(record);
        return;
    }
    m_store.Append(record);
    m_modified = true;
    ++m_pending;
}

int TResultsPane::Pending() const
{
    return m_materialised ? m_editorLines.Pending() : m_pending;
}

void TResultsPane::Flush()
{
    if (m_materialised) {
        m_editorLines.Flush();
        return;
    }
    if (m_pending == 0)
        return;
    m_pending = 0;
    m_view->LinesChanged();
    emit textChanged();
}

void TResultsPane::Clear()
{
    m_store.Clear();
    m_pending = 0;
    m_modified = false;
    const bool editorHadFocus = m_editor->hasFocus();
    m_editorLines.Clear();
    m_materialised = false;
    setCurrentWidget(m_view);
    m_view->LinesChanged();
    if (editorHadFocus)
        m_view->setFocus(Qt::OtherFocusReason);
}

bool TResultsPane::IsEmpty() const
{
    return m_materialised ? m_editor->document()->isEmpty() : m_store.RawText().isEmpty();
}

bool TResultsPane::IsModified() const
{
    return m_materialised ? m_editor->document()->isModified() : m_modified;
}

void TResultsPane::SetSaved()
{
    m_modified = false;
    m_editor->document()->setModified(false);
}

std::string TResultsPane::SavedBytes() const
{
    // The raw text keeps every character as it stands (the plain text would
    // turn no-break spaces into blanks).
    return savedBytesFromPaneText(m_materialised ? m_editor->document()->toRawText() : m_store.RawText());
}

void TResultsPane::Materialise()
{
    if (m_materialised)
        return;
    Flush();
    const int firstLine = static_cast<int>(m_view->FirstVisibleLine());
    const bool atEnd = m_view->verticalScrollBar()->value() == m_view->verticalScrollBar()->maximum();
    const int left = m_view->horizontalScrollBar()->value();
    // One edit for the whole text; the document's flag says what the appends would have said.
    m_editor->setPlainText(m_store.RawText());
    m_editor->document()->setModified(m_modified);
    m_materialised = true;
    m_store.Clear();
    m_view->LinesChanged();

    m_editor->setGeometry(m_view->geometry()); // laid out as the view, before its scroll bars are set
    setCurrentWidget(m_editor);
    m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(firstLine)));
    QScrollBar* bar = m_editor->verticalScrollBar();
    bar->setValue(atEnd ? bar->maximum() : firstLine);
    m_editor->horizontalScrollBar()->setValue(left);
}

void TResultsPane::takeOver(QEvent* event)
{
    Materialise();
    m_editor->setFocus(event ? Qt::MouseFocusReason : Qt::TabFocusReason);
    if (!event)
        return;
    // The click or key that asked, once more, now to the editor: the cursor
    // lands where the user clicked, the key does what it does there.
    const std::unique_ptr<QEvent> again(event->clone());
    QWidget* target = event->type() == QEvent::KeyPress ? static_cast<QWidget*>(m_editor) : m_editor->viewport();
    QCoreApplication::sendEvent(target, again.get());
}
