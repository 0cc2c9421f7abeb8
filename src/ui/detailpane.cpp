#include "ui/detailpane.h"

#include "tiff/detail.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"
#include "ui/elidedlabel.h"
#include "ui/uiscale.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

QPlainTextEdit* textArea(QWidget* parent, const char* name)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    // A cursor that keys move: lines can be selected and copied without a
    // mouse, and the focus shows.
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Columns of digits and the dump's ASCII column line up only in a fixed font.
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return edit;
}

QString joined(const std::vector<std::string>& lines)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        list << QString::fromStdString(line);
    return list.join(QLatin1Char('\n'));
}

} // namespace

TDetailPane::TDetailPane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DetailPane"));
    lblDetailTitle = new TElidedLabel(QString(), this);
    lblDetailTitle->setObjectName(QStringLiteral("lblDetailTitle"));
    QFont bold = lblDetailTitle->font();
    bold.setBold(true);
    lblDetailTitle->setFont(bold);
    // The facts span the pane: positions in both bases make long lines.
    lblDetailFacts = new QLabel(this);
    lblDetailFacts->setObjectName(QStringLiteral("lblDetailFacts"));
    lblDetailFacts->setTextFormat(Qt::PlainText);
    lblDetailFacts->setWordWrap(true);
    lblDetailFacts->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("DetailSplitter"));
    DetailValues = textArea(split, "DetailValues");
    DetailValues->setPlaceholderText(tr("Select an entry to see all its values and its bytes."));
    DetailBytes = textArea(split, "DetailBytes");
    split->addWidget(DetailValues);
    split->addWidget(DetailBytes);
    // Room for a whole dump line, with its ASCII column, beside the values.
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 6);
    split->setSizes({Scaled(200), Scaled(600)});

    btnPrevValues = new QPushButton(tr("Previous"), this);
    btnPrevValues->setObjectName(QStringLiteral("btnPrevValues"));
    btnPrevValues->setToolTip(tr("The %1 values before these").arg(PageItems));
    btnNextValues = new QPushButton(tr("Next"), this);
    btnNextValues->setObjectName(QStringLiteral("btnNextValues"));
    btnNextValues->setToolTip(tr("The %1 values after these").arg(PageItems));
    lblValuesPage = new QLabel(this);
    lblValuesPage->setObjectName(QStringLiteral("lblValuesPage"));

    auto* pager = new QHBoxLayout;
    pager->addWidget(btnPrevValues);
    pager->addWidget(btnNextValues);
    pager->addWidget(lblValuesPage);
    pager->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(lblDetailTitle);
    layout->addWidget(lblDetailFacts);
    layout->addWidget(split, 1);
    layout->addLayout(pager);

    connect(btnPrevValues, &QPushButton::clicked, this, &TDetailPane::ShowPreviousValues);
    connect(btnNextValues, &QPushButton::clicked, this, &TDetailPane::ShowNextValues);
    ShowNothing();
}

void TDetailPane::ShowEntry(const TTiffFile& file, std::size_t directory, std::size_t entry)
{
    m_file = &file;
    m_directory = directory;
    m_entry = entry;
    m_count = 0;
    showPage(0);
}

void TDetailPane::ShowNothing()
{
    m_file = nullptr;
    m_count = 0;
    lblDetailTitle->setText(QString());
    lblDetailFacts->clear();
    DetailValues->clear();
    DetailBytes->clear();
    setPager(0, 0, 0);
}

void TDetailPane::ShowNextValues()
{
    if (m_file && m_first + PageItems < m_count)
        showPage(m_first + PageItems);
}

void TDetailPane::ShowPreviousValues()
{
    if (m_file && m_first > 0)
        showPage(m_first > PageItems ? m_first - PageItems : 0);
}

void TDetailPane::showPage(std::uint64_t first)
{
    lblDetailTitle->setText(QString::fromStdString(entryTitle(*m_file, m_directory, m_entry)));
    try {
        // Opened afresh for each page: it is the moment to find out that the
        // file changed, before any of its bytes are shown as this entry's.
        const std::unique_ptr<TValueSource> source = openValues(*m_file);
        const TEntryDetail detail = describeEntry(*m_file, m_directory, m_entry, *source, first, PageItems);
        lblDetailFacts->setText(joined(detail.Facts));
        DetailValues->setPlainText(joined(detail.Values));
        DetailBytes->setPlainText(joined(detail.Dump));
        m_first = detail.Page.First;
        m_count = detail.Count;
        setPager(detail.Page.First, detail.Page.Count, detail.Page.Count ? detail.Count : 0);
    } catch (const std::exception& e) {
        lblDetailFacts->clear();
        DetailValues->setPlainText(QString::fromStdString(WithFullStop(e.what())));
        DetailBytes->clear();
        setPager(0, 0, 0);
    }
}

void TDetailPane::setPager(std::uint64_t first, std::uint64_t shown, std::uint64_t count)
{
    btnPrevValues->setEnabled(first > 0);
    btnNextValues->setEnabled(first + shown < count);
    lblValuesPage->setText(shown == 0 ? QString()
                                      : tr("Values %1 to %2 of %3").arg(first + 1).arg(first + shown).arg(count));
}
