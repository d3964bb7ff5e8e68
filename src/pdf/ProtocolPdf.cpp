#include "pdf/ProtocolPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QStaticText>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "common/AtomicFile.h"
#include "devices/DeviceBase.h"
#include "document/PackageBase.h"
#include "document/Verdict.h"
#include "files/Report.h"
#include "pdf/ErrorChart.h"

namespace pdf {

namespace {

constexpr int kResolution = 600;  // dots per inch of the layout
constexpr double kPoint = kResolution / 72.0;
constexpr double kFontSize = 7.5;  // points
const QColor kFailColour(220, 0, 0);

// The place the next block goes on the current page; a block that does not
// fit starts a new one.
class Pages {
public:
    Pages(QPdfWriter& writer, QPainter& painter, QSizeF page) : m_writer(writer), m_painter(painter), m_page(page) {}

    QPainter& painter() { return m_painter; }
    double width() const { return m_page.width(); }
    double height() const { return m_page.height(); }
    double y() const { return m_y; }
    void advance(double dy) { m_y += dy; }
    // True when a new page was started for the block.
    bool reserve(double h) {
        if (m_y + h <= m_page.height() || m_y == 0.0) return false;
        m_writer.newPage();
        m_y = 0.0;
        return true;
    }
    void rule() {
        advance(3 * kPoint);
        reserve(kPoint);
        m_painter.save();
        m_painter.setPen(QPen(Qt::gray, 0.6 * kPoint));
        m_painter.drawLine(QPointF(0, m_y), QPointF(m_page.width(), m_y));
        m_painter.restore();
        advance(4 * kPoint);
    }

private:
    QPdfWriter& m_writer;
    QPainter& m_painter;
    QSizeF m_page;
    double m_y = 0.0;
};

// A cell text of the report as plain text: most are plain already.
QString plainText(const std::string& html) {
    const QString text = QString::fromStdString(html);
    if (!text.contains(QLatin1Char('&')) && !text.contains(QLatin1Char('<'))) return text;
    return QTextDocumentFragment::fromHtml(text).toPlainText();
}

// A table laid out by hand: the text document lays out a table of a
// thousand rows far too slowly. Captions are rich text and may wrap; the
// header repeats on every page. `red(row, col)` picks the failing cells.
struct Table {
    std::vector<QString> captions;  // HTML
    std::vector<std::vector<QString>> rows;
};

void paintTable(Pages& pages, const Table& table, const QFont& font, bool fullWidth,
                const std::function<bool(std::size_t, std::size_t)>& red) {
    QPainter& painter = pages.painter();
    const QFontMetricsF metrics(font, painter.device());
    const double pad = 3 * kPoint;
    const std::size_t n = table.captions.size();
    std::vector<double> widths(n, 0.0);
    std::vector<QStaticText> captions(n);
    for (std::size_t k = 0; k < n; ++k) {
        captions[k].setTextFormat(Qt::RichText);
        captions[k].setText(QStringLiteral("<div align=\"center\"><b>") + table.captions[k] +
                            QStringLiteral("</b></div>"));
        captions[k].prepare(QTransform(), font);
        widths[k] = captions[k].size().width();
    }
    for (const auto& row : table.rows)
        for (std::size_t k = 0; k < n && k < row.size(); ++k) widths[k] = std::max(widths[k], metrics.horizontalAdvance(row[k]));
    double total = 0.0;
    for (double& w : widths) total += (w += 2 * pad);
    // Too wide: the captions wrap down to their cells' width.
    if (total > pages.width()) {
        const double shrink = pages.width() / total;
        total = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            double cells = 0.0;
            for (const auto& row : table.rows)
                if (k < row.size()) cells = std::max(cells, metrics.horizontalAdvance(row[k]));
            widths[k] = std::max(cells + 2 * pad, widths[k] * shrink);
            total += widths[k];
        }
    }
    const double spread = fullWidth && total < pages.width() ? pages.width() / total : 1.0;
    for (double& w : widths) w *= spread;
    double header = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        captions[k].setTextWidth(widths[k] - 2 * pad);
        captions[k].prepare(QTransform(), font);
        header = std::max(header, captions[k].size().height());
    }
    header += 2 * pad;
    const double rowHeight = metrics.height() + pad;

    const auto paintHeader = [&] {
        double x = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const QSizeF size = captions[k].size();
            painter.drawStaticText(QPointF(x + (widths[k] - size.width()) / 2, pages.y() + pad), captions[k]);
            x += widths[k];
        }
        pages.advance(header);
    };
    pages.reserve(header + rowHeight);
    painter.setFont(font);
    paintHeader();
    const QPen black(Qt::black);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        if (pages.reserve(rowHeight)) paintHeader();
        double x = 0.0;
        for (std::size_t k = 0; k < n && k < table.rows[r].size(); ++k) {
            painter.setPen(red && red(r, k) ? QPen(kFailColour) : black);
            painter.drawText(QRectF(x, pages.y(), widths[k], rowHeight), Qt::AlignCenter, table.rows[r][k]);
            x += widths[k];
        }
        painter.setPen(black);
        pages.advance(rowHeight);
    }
}

// One paragraph of rich text across the page.
void paintText(Pages& pages, const QString& html, const QFont& font) {
    QStaticText text(html);
    text.setTextFormat(Qt::RichText);
    text.setTextWidth(pages.width());
    text.prepare(QTransform(), font);
    pages.advance(3 * kPoint);
    pages.reserve(text.size().height());
    pages.painter().setFont(font);
    pages.painter().drawStaticText(QPointF(0, pages.y()), text);
    pages.advance(text.size().height() + 3 * kPoint);
}

// The heading, identity and lines: the report's own HTML, laid out by the
// text document (they are small).
void paintHead(Pages& pages, const DeviceBase& device, const PackageBase& package, const QFont& font) {
    QString html = QString::fromStdString(files::ReportHeadHtml(device, package));
    // The page's cell widths are shares of a browser window; on paper the
    // cells take the width of their contents.
    static const QRegularExpression cellWidth(QStringLiteral("<(td|th) width=\"\\d+%\">"));
    html.replace(cellWidth, QStringLiteral("<\\1>"));
    // The rule under the lines table is drawn as the page's own.
    if (html.endsWith(QStringLiteral("<hr>"))) html.chop(4);
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(pages.painter().device());
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.setTextWidth(pages.width());
    doc.setHtml(html);
    doc.drawContents(&pages.painter());
    pages.advance(doc.size().height());
    pages.rule();
}

}  // namespace

QByteArray ProtocolPdfBytes(const DeviceBase& device, const PackageBase& package, const Limits& limits) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 12, 12, 12),
                                     QPageLayout::Millimeter));
    writer.setCreator(QStringLiteral("Ralvo-Cервис"));
    const bool verification = package.type == PackageType::Verification;
    writer.setTitle(QString::fromStdString(std::string("Протокол ") + (verification ? "поверки" : "градуировки") +
                                           " преобразователя расхода"));
    QPainter painter(&writer);
    Pages pages(writer, painter, writer.pageLayout().paintRectPixels(kResolution).size());
    // Sizes in the device's own pixels: the static texts and the text
    // document measure in pixels, whatever resolution they assume.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(kFontSize * kPoint));
    QFont bold = font;
    bold.setBold(true);

    paintHead(pages, device, package, font);

    // A calibration package has no verdict, but its points still show.
    PackageVerdict verdict;
    if (verification) {
        verdict = CheckPackage(package, device, limits);
    } else {
        for (int row = 0; row < package.entryCount(); ++row)
            verdict.entries.push_back(CheckEntry(package, row, Limits{}, false));
    }

    // The entries, as the report's table shows them; a failing error in red.
    const int columns = package.columnCount() - device.HiddenColumns(verification);
    Table entries;
    std::vector<int> fields;
    for (int k = 0; k < columns; ++k) {
        entries.captions.push_back(QString::fromStdString(package.column(k).htmlCaption));
        fields.push_back(package.columnField(k));
    }
    entries.rows.reserve(static_cast<std::size_t>(package.entryCount()));
    for (int r = 0; r < package.entryCount(); ++r) {
        std::vector<QString>& row = entries.rows.emplace_back();
        row.reserve(static_cast<std::size_t>(columns));
        for (int k = 0; k < columns; ++k) row.push_back(QString::fromStdString(package.cellText(r, k)));
    }
    paintTable(pages, entries, font, true, [&](std::size_t r, std::size_t k) {
        const EntryVerdict& e = verdict.entries[r];
        return (fields[k] == kFlowErr && e.errorFails) || (fields[k] == kVolErr && e.dVFails);
    });
    pages.rule();

    if (verification) {
        const files::ReportVerdict part = files::ReportVerdictPart(device, package, limits);
        paintText(pages, QString::fromStdString(part.limitsLine), font);
        if (!part.rows.empty()) {
            Table judged;
            for (const std::string& caption : part.captions) judged.captions.push_back(QString::fromStdString(caption));
            for (const auto& row : part.rows) {
                std::vector<QString>& cells = judged.rows.emplace_back();
                for (const std::string& text : row) cells.push_back(plainText(text));
            }
            paintTable(pages, judged, font, false,
                       [&](std::size_t r, std::size_t k) { return k == 3 && !verdict.entries[r].passes(); });
        }
        paintText(pages, QStringLiteral("<b>") + QString::fromStdString(part.verdictLine) + QStringLiteral("</b>"), font);
        pages.rule();
    }

    // The graph, on a page of its own when the last has no room for it.
    const double chartHeight = std::min(pages.height() * 0.45, pages.width() * 0.6);
    pages.reserve(chartHeight);
    painter.setFont(font);
    ErrorChart(verdict, limits).paint(painter, QRectF(0, pages.y(), pages.width(), chartHeight), kPoint);
    painter.end();
    return bytes;
}

void WriteProtocolPdf(const std::string& path, const DeviceBase& device, const PackageBase& package,
                      const Limits& limits) {
    const QByteArray bytes = ProtocolPdfBytes(device, package, limits);
    AtomicFile file(path);
    file.write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    file.commit();
}

std::string PdfPathFor(const std::string& reportPath) {
    const std::size_t slash = reportPath.find_last_of('/');
    const std::size_t dot = reportPath.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return reportPath + ".pdf";
    return reportPath.substr(0, dot) + ".pdf";
}

namespace {
int g_argc = 1;
char g_name[] = "srvtool";
char* g_argv[] = {g_name, nullptr};
}  // namespace

GuiForTools::GuiForTools() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime folder the toolkit makes one itself but says so on
    // stderr, where a tool writes only its failures.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(::getuid());
        ::mkdir(dir.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    m_app = std::make_unique<QGuiApplication>(g_argc, g_argv);
}

GuiForTools::~GuiForTools() = default;

}  // namespace pdf
