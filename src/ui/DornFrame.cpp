#include "DornFrame.h"

#include "ExchangeLogWindow.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "components/Accessibility.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"
#include "devices/dorn/Dorn.h"
#include "devices/dorn/DornProtocol.h"

namespace {

constexpr const char* kPortValue = "DornComPort";
constexpr const char* kNoPortItem = "-------";

QStringList toQt(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) list << QString::fromStdString(item);
    return list;
}

}  // namespace

TDornFrame::TDornFrame(Dorn& device, Console& console, QWidget* parent)
    : DevicePage(console, kPortValue, parent), m_device(device), m_state(device.page()) {
    setProperty("helpKeyword", QStringLiteral("dorn_main"));

    m_port = new TDisComboBox(this);
    m_port->setObjectName(QStringLiteral("cbPort"));
    m_devNum = new TIntEdit(this);
    m_devNum->setObjectName(QStringLiteral("edDevNum"));
    TakeLimits(m_devNum, m_state.serial());
    m_outType = new TDisComboBox(this);
    m_outType->setObjectName(QStringLiteral("cbOutType"));
    m_outTypeLabel = new QLabel(QStringLiteral("Цена импульса, м3:"), this);
    m_outTypeLabel->setObjectName(QStringLiteral("lbOutType"));

    m_du = new TDisComboBox(this);
    m_du->setObjectName(QStringLiteral("cbDu"));
    m_du->addItems(toQt(m_state.diameter().items()));
    m_a = new TFloatEdit(this);
    m_a->setObjectName(QStringLiteral("edA"));
    TakeLimits(m_a, m_state.a());
    m_b = new TFloatEdit(this);
    m_b->setObjectName(QStringLiteral("edB"));
    TakeLimits(m_b, m_state.b());
    m_read = new QPushButton(QStringLiteral("Cчитать"), this);  // the caption begins with a Latin C on purpose: scripts and users know it so
    m_read->setObjectName(QStringLiteral("bnRead"));
    m_write = new QPushButton(QStringLiteral("Записать"), this);
    m_write->setObjectName(QStringLiteral("bnWrite"));
    // What a screen reader says of each control: its caption or label.
    NameControl(m_port, QStringLiteral("Com-порт"));
    m_devNum->setAccessibleName(QStringLiteral("Заводской №"));
    NameControl(m_outType, QStringLiteral("Цена импульса, м3"));
    m_outTypeLabel->setBuddy(m_outType);
    NameControl(m_du, QStringLiteral("Ду"));
    m_a->setAccessibleName(QStringLiteral("Коэффициент A"));
    m_b->setAccessibleName(QStringLiteral("Коэффициент B"));
    NameControl(m_read, QStringLiteral("Считать коэффициенты"));
    NameControl(m_write, QStringLiteral("Записать коэффициенты"));

    auto* top = new QFormLayout;
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_port);
    portRow->addWidget(MakeExchangeLogButton(this, [this] { return PortName(); }));
    top->addRow(QStringLiteral("Com-порт:"), portRow);
    // A row of a layout gets no buddy from the form: link the caption itself.
    if (auto* caption = qobject_cast<QLabel*>(top->labelForField(portRow))) caption->setBuddy(m_port);
    top->addRow(QStringLiteral("Заводской №:"), m_devNum);
    top->addRow(m_outTypeLabel, m_outType);

    auto* group = new QGroupBox(QStringLiteral("Параметры ДОРН-Т(И)"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Ду:"), m_du);
    fields->addRow(QStringLiteral("Коэффициент A:"), m_a);
    fields->addRow(QStringLiteral("Коэффициент B:"), m_b);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    buttons->addStretch();
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(fields);
    groupLayout->addLayout(buttons);

    auto* column = new QVBoxLayout;
    column->addLayout(top);
    column->addWidget(group);
    column->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(column);
    layout->addStretch();

    // The port list is the program's one list; the port stays unselected
    // until the page is initialised.
    m_port->addItem(QString::fromLatin1(kNoPortItem));
    AddPortItems(*m_port);
    m_port->SetItemIndex(0);

    UpdateFromState();
    UpdateControls();

    m_state.setChangedCallback([this] {
        if (!m_updating) UpdateFromState();
    });

    // User input goes into the state (FromControl).
    connect(m_devNum, &TIntEdit::valueChanged, this,
            [this](int v) { FromControl([&] { m_state.serial().setValue(v); }); });
    connect(m_a, &TFloatEdit::valueChanged, this,
            [this](double v) { FromControl([&] { m_state.a().setValue(v); }); });
    connect(m_b, &TFloatEdit::valueChanged, this,
            [this](double v) { FromControl([&] { m_state.b().setValue(v); }); });
    connect(m_du, &QComboBox::activated, this, [this](int) { cbDuChange(); });
    connect(m_outType, &QComboBox::activated, this, [this](int index) {
        if (m_updating) return;
        m_state.selectWeight(index);
    });
    connect(m_port, &QComboBox::activated, this, [this](int) { cbPortChange(); });
    connect(m_write, &QPushButton::clicked, this, [this] { bnWriteClick(); });
    connect(m_read, &QPushButton::clicked, this, [this] { bnReadClick(); });
}

TDornFrame::~TDornFrame() {
    m_state.setChangedCallback(nullptr);
    // A page never shown has no worker and stores nothing.
    if (m_worker) m_storedPort.Save(m_worker->controller().port());
}

void TDornFrame::Start() {
    m_worker = std::make_unique<Worker>(
        *this, &TDornFrame::HandleResult, &TDornFrame::PortNotified,
        [this](DornThread& thread) { return DornPageController(m_state, thread, m_console); });
    m_worker->Start();
    m_port->SetItemIndex(m_storedPort.Load(comprt::ComPort::PortList().Names(), 1));
    cbPortChange();
}

void TDornFrame::UpdateFromState() {
    const bool updating = m_updating;
    m_updating = true;
    m_devNum->SetValue(m_state.serial().value());
    m_du->SetItemIndex(m_state.diameter().index());
    const QStringList weights = toQt(m_state.weight().items());
    QStringList shown;
    for (int i = 0; i < m_outType->count(); ++i) shown << m_outType->itemText(i);
    if (shown != weights) {
        m_outType->clear();
        m_outType->addItems(weights);
    }
    m_outType->SetItemIndex(m_state.weight().index());
    m_a->SetValue(m_state.a().value());
    m_b->SetValue(m_state.b().value());
    m_updating = updating;
}

bool TDornFrame::busy() const { return m_worker && m_worker->controller().busy(); }

void TDornFrame::UpdateControls() {
    const bool pulse = m_state.hasPulseOutput();
    m_outTypeLabel->setVisible(pulse);
    m_outType->setVisible(pulse);
    // Until the page is initialised there is no controller and no port.
    if (m_worker) m_port->SetItemIndex(m_worker->controller().port());
    m_busy.Set(busy(), [this] {
        const bool exchange = m_worker && m_worker->controller().canExchange();
        m_read->setEnabled(exchange);
        m_write->setEnabled(exchange);
        m_port->SetEnabled(!m_busy.busy());
    });
}

template <class Action>
void TDornFrame::Run(Action&& action) {
    if (!m_worker) return;
    try {
        action(m_worker->controller());
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
    UpdateControls();
}

QString TDornFrame::PortName() const { return PortNameAt(m_port->GetItemIndex()); }

void TDornFrame::cbPortChange() {
    const int position = m_port->GetItemIndex();
    Run([position](DornPageController& controller) { controller.cbPortChange(position); });
}

void TDornFrame::cbDuChange() {
    const int index = m_du->currentIndex();
    if (index >= 0) m_state.selectDiameter(index);
}

void TDornFrame::bnWriteClick() {
    Run([](DornPageController& controller) { controller.bnWriteClick(); });
}

void TDornFrame::bnReadClick() {
    Run([](DornPageController& controller) { controller.bnReadClick(); });
}

void TDornFrame::PortNotified(bool back) {
    if (!m_worker) return;
    m_worker->controller().PortNotified(back);
    UpdateControls();
}

void TDornFrame::HandleResult(bool ok) {
    if (!m_worker) return;
    // The fields the result fills repaint through the state's callback; the
    // port kept by an open shows through UpdateControls.
    const PageResult result = m_worker->controller().HandleResult(ok);
    UpdateControls();
    emit resultHandled(result.code, result.ok);
}
