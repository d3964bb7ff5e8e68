#include "SectionSelectDialog.h"

#include <QChart>
#include <QChartView>
#include <QDialogButtonBox>
#include <QGraphicsSimpleTextItem>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString kBottomTitle = QStringLiteral("Расход, м^3/ч");
const QString kLeftTitle = QStringLiteral("Отклонения, %");
const QString kTopTitle = QStringLiteral("Номер сечения");

}  // namespace

SectionSelectDialog::SectionSelectDialog(QWidget* parent) : SectionChooser(parent) {
    setWindowTitle(QStringLiteral("Выбор сечений"));
    setProperty("helpKeyword", QStringLiteral("select_section"));
    setSizeGripEnabled(true);
    resize(702, 501);

    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setTitle(QString());

    m_back = new QScatterSeries;
    m_back->setObjectName(QStringLiteral("SeriesBack"));
    m_back->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    m_back->setMarkerSize(8);
    m_back->setColor(QColor(144, 238, 144));
    m_back->setBorderColor(QColor(0, 128, 0));

    m_front = new QScatterSeries;
    m_front->setObjectName(QStringLiteral("SeriesFront"));
    m_front->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    m_front->setMarkerSize(6);
    m_front->setColor(Qt::red);
    m_front->setBorderColor(Qt::black);

    // Added in this order, the front series is drawn over the back one.
    m_chart->addSeries(m_back);
    m_chart->addSeries(m_front);

    m_bottom = new QLogValueAxis;
    m_bottom->setBase(10.0);
    m_bottom->setMinorTickCount(8);
    m_bottom->setMinorGridLineVisible(true);
    m_bottom->setLabelFormat(QStringLiteral("%g"));
    m_left = new QValueAxis;
    // The top axis follows the bottom one; its labels are the section numbers
    // of the points, written along the top of the plot at each point's flow.
    m_top = new QLogValueAxis;
    m_top->setBase(10.0);
    m_top->setLabelsVisible(false);
    m_top->setGridLineVisible(false);
    m_top->setMinorGridLineVisible(false);

    m_chart->addAxis(m_bottom, Qt::AlignBottom);
    m_chart->addAxis(m_left, Qt::AlignLeft);
    m_chart->addAxis(m_top, Qt::AlignTop);
    m_back->attachAxis(m_bottom);
    m_back->attachAxis(m_left);
    m_front->attachAxis(m_bottom);
    m_front->attachAxis(m_top);
    m_front->attachAxis(m_left);
    connect(m_bottom, &QLogValueAxis::rangeChanged, m_top, [this](qreal min, qreal max) { m_top->setRange(min, max); });

    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("SectionChart"));
    m_view->setAccessibleName(QStringLiteral("Точки сечений"));
    m_view->setRenderHint(QPainter::Antialiasing);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* go = buttons->addButton(QStringLiteral("Продолжить"), QDialogButtonBox::AcceptRole);
    go->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(buttons);

    connect(m_front, &QScatterSeries::clicked, this, &SectionSelectDialog::frontClicked);
    connect(m_chart, &QChart::plotAreaChanged, this, [this] { placeLabels(); });
}

bool SectionSelectDialog::choose(approximation::SectionSelection& selection) {
    SetSeries(&selection);
    const bool confirmed = exec() == QDialog::Accepted;
    SetSeries(nullptr);
    return confirmed;
}

void SectionSelectDialog::SetSeries(approximation::SectionSelection* selection) {
    m_selection = selection;
    draw();
}

void SectionSelectDialog::clickPoint(int k) {
    if (!m_selection || k < 0 || k >= static_cast<int>(m_selection->series().points.size())) return;
    m_selection->click(static_cast<std::size_t>(k));
    draw();
}

void SectionSelectDialog::frontClicked(const QPointF& point) {
    // The series reports the clicked point's values; its position among the
    // front points is its entry index.
    const QList<QPointF> points = m_front->points();
    const auto it = std::find(points.begin(), points.end(), point);
    if (it != points.end()) clickPoint(static_cast<int>(it - points.begin()));
}

void SectionSelectDialog::draw() {
    QList<QPointF> front;
    QList<QPointF> back;
    m_labels.clear();
    if (m_selection) {
        for (const SPILT_POINT& p : m_selection->series().points) {
            const QPointF position(p.y, p.error);
            front.append(position);
            m_labels.append(QString::number(p.section));
            if (p.point) back.append(position);
        }
    }
    m_front->replace(front);
    m_back->replace(back);

    // Ranges around the points: the logarithmic axis needs positive flows.
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool any = false;
    for (const QPointF& p : front) {
        if (!(p.x() > 0) || !std::isfinite(p.x()) || !std::isfinite(p.y())) continue;
        if (!any) {
            xMin = xMax = p.x();
            yMin = yMax = p.y();
            any = true;
        }
        xMin = std::min(xMin, p.x());
        xMax = std::max(xMax, p.x());
        yMin = std::min(yMin, p.y());
        yMax = std::max(yMax, p.y());
    }
    if (!any) {
        xMin = 1;
        xMax = 10;
        yMin = -1;
        yMax = 1;
    }
    const double yMargin = std::max((yMax - yMin) * 0.1, 0.1);
    m_bottom->setRange(xMin / 1.2, xMax * 1.2);
    m_top->setRange(xMin / 1.2, xMax * 1.2);
    m_left->setRange(yMin - yMargin, yMax + yMargin);

    m_bottom->setTitleText(kBottomTitle);
    m_left->setTitleText(kLeftTitle);
    m_top->setTitleText(kTopTitle);
    placeLabels();
}

void SectionSelectDialog::placeLabels() {
    const QList<QPointF> points = m_front->points();
    while (m_labelItems.size() > static_cast<std::size_t>(points.size())) {
        delete m_labelItems.back();
        m_labelItems.pop_back();
    }
    while (m_labelItems.size() < static_cast<std::size_t>(points.size()))
        m_labelItems.push_back(new QGraphicsSimpleTextItem(m_chart));
    const QRectF area = m_chart->plotArea();
    for (int i = 0; i < points.size(); ++i) {
        QGraphicsSimpleTextItem* item = m_labelItems[static_cast<std::size_t>(i)];
        item->setText(i < m_labels.size() ? m_labels[i] : QString());
        const QPointF at = m_chart->mapToPosition(points[i], m_front);
        const QRectF box = item->boundingRect();
        item->setPos(at.x() - box.width() / 2, area.top() + 2);
        item->setVisible(points[i].x() > 0 && at.x() >= area.left() && at.x() <= area.right());
    }
}

void SectionSelectDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    placeLabels();
}
