#pragma once

#include <QString>

#include <string_view>

class QPlainTextEdit;

/// Lines on their way into a plain-text pane. A run makes thousands of lines
/// a second; one edit of the document per line would lay out and repaint the
/// pane each time, so the lines wait here and go in with one edit per Flush.
/// The document ends up as one appendPlainText per line would leave it.
class TPaneBuffer {
public:
    explicit TPaneBuffer(QPlainTextEdit* pane) : m_pane(pane) {}

    /// Queues one record, shown as paneTextFromRecord shows it.
    void Append(std::string_view record);
    /// Appends what is queued to the pane, as one new paragraph or more.
    void Flush();
    /// Drops what is queued and empties the pane.
    void Clear();
    /// Lines queued since the last Flush.
    int Pending() const { return m_lines; }

private:
    QPlainTextEdit* m_pane;
    QString m_pending;
    int m_lines = 0; ///< an empty line is a line too
};
