#include "DornFrame.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"
#include "devices/dorn/Dorn.h"
#include "devices/dorn/DornPageController.h"
#include "devices/dorn/DornProtocol.h"
#include "link/RegKey.h"

namespace {

constexpr const char* kPortValue = "DornComPort";
constexpr const char* kNoPortItem = "-------";

QStringList toQt(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) list << QString::fromStdString(item);
    return list;
}

}  // namespace

// The page's worker, the controller that posts to it, and the notifier that
// carries its results over to the window thread: the worker thread only
// queues a call on the page, which the event loop runs later; a call still
// queued when the page is gone is dropped.
class DornFrame::Worker final : public QueueNotifier {
public:
    Worker(DornFrame& frame, DornPageState& state, Console& console)
        : m_frame(&frame), m_controller(state, m_thread, console) {}
    ~Worker() override { m_thread.Stop(); }

    void Notify(unsigned message, std::intptr_t param1, std::intptr_t /*param2*/) override {
        if (message != kResultMessage) return;
        const bool ok = param1 != 0;
        QPointer<DornFrame> frame = m_frame;
        QMetaObject::invokeMethod(
            m_frame.data(), [frame, ok] { if (frame) frame->HandleResult(ok); }, Qt::QueuedConnection);
    }

    DornThread& thread() { return m_thread; }
    DornPageController& controller() { return m_controller; }

private:
    QPointer<DornFrame> m_frame;  // made on the window thread, copied by the worker
    DornThread m_thread;
    DornPageController m_controller;
};

DornFrame::DornFrame(Dorn& device, Console& console, QWidget* parent)
    : QWidget(parent), m_device(device), m_state(device.page()), m_console(console) {
    setProperty("helpKeyword", QStringLiteral("dorn_main"));

    m_port = new TDisComboBox(this);
    m_port->setObjectName(QStringLiteral("cbPort"));
    m_devNum = new TIntEdit(this);
    m_devNum->setObjectName(QStringLiteral("edDevNum"));
    m_devNum->SetMax(m_state.serial().max());
    m_devNum->SetMin(m_state.serial().min());
    m_outType = new TDisComboBox(this);
    m_outType->setObjectName(QStringLiteral("cbOutType"));
    m_outTypeLabel = new QLabel(QStringLiteral("Цена импульса, м3:"), this);
    m_outTypeLabel->setObjectName(QStringLiteral("lbOutType"));

    m_du = new TDisComboBox(this);
    m_du->setObjectName(QStringLiteral("cbDu"));
    m_du->addItems(toQt(m_state.diameter().items()));
    m_a = new TFloatEdit(this);
    m_a->setObjectName(QStringLiteral("edA"));
    m_a->SetDigits(m_state.a().digits());
    m_a->SetMax(m_state.a().max());
    m_a->SetMin(m_state.a().min());
    m_b = new TFloatEdit(this);
    m_b->setObjectName(QStringLiteral("edB"));
    m_b->SetDigits(m_state.b().digits());
    m_b->SetMax(m_state.b().max());
    m_b->SetMin(m_state.b().min());
    m_read = new QPushButton(QStringLiteral("Cчитать"), this);  // the caption begins with a Latin C on purpose: scripts and users know it so
    m_read->setObjectName(QStringLiteral("bnRead"));
    m_write = new QPushButton(QStringLiteral("Записать"), this);
    m_write->setObjectName(QStringLiteral("bnWrite"));
    // What a screen reader says of each control: its caption or label.
    m_port->setAccessibleName(QStringLiteral("COM-порт"));
    m_devNum->setAccessibleName(QStringLiteral("Заводской №"));
    m_outType->setAccessibleName(QStringLiteral("Цена импульса, м3"));
    m_outTypeLabel->setBuddy(m_outType);
    m_du->setAccessibleName(QStringLiteral("Ду"));
    m_a->setAccessibleName(QStringLiteral("Коэффициент A"));
    m_b->setAccessibleName(QStringLiteral("Коэффициент B"));
    m_read->setAccessibleName(QStringLiteral("Считать коэффициенты"));
    m_write->setAccessibleName(QStringLiteral("Записать коэффициенты"));

    auto* top = new QFormLayout;
    top->addRow(QStringLiteral("Com-порт:"), m_port);
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
    for (const std::string& name : comprt::ComPort::PortList().Names()) m_port->addItem(QString::fromStdString(name));
    m_port->SetItemIndex(0);

    UpdateFromState();
    UpdateControls();

    m_state.setChangedCallback([this] {
        if (!m_updating) UpdateFromState();
    });

    // User input goes into the state; the state's change does not come back
    // into the control being typed in.
    const auto fromControl = [this](auto&& apply) {
        if (m_updating) return;
        m_updating = true;
        apply();
        m_updating = false;
    };
    connect(m_devNum, &TIntEdit::valueChanged, this,
            [this, fromControl](int v) { fromControl([&] { m_state.serial().setValue(v); }); });
    connect(m_a, &TFloatEdit::valueChanged, this,
            [this, fromControl](double v) { fromControl([&] { m_state.a().setValue(v); }); });
    connect(m_b, &TFloatEdit::valueChanged, this,
            [this, fromControl](double v) { fromControl([&] { m_state.b().setValue(v); }); });
    connect(m_du, &QComboBox::activated, this, [this](int) { cbDuChange(); });
    connect(m_outType, &QComboBox::activated, this, [this](int index) {
        if (m_updating) return;
        m_state.selectWeight(index);
    });
    connect(m_port, &QComboBox::activated, this, [this](int) { cbPortChange(); });
    connect(m_write, &QPushButton::clicked, this, [this] { bnWriteClick(); });
    connect(m_read, &QPushButton::clicked, this, [this] { bnReadClick(); });
}

DornFrame::~DornFrame() {
    m_state.setChangedCallback(nullptr);
    if (m_initialised) {
        try {
            RegKey key;
            key.Open();
            key.WriteInt(kPortValue, m_worker ? m_worker->controller().port() : m_port->GetItemIndex());
        } catch (const std::exception& error) {
            m_console.message(error.what());
        }
    }
    // Stopping lets the requests already queued finish; their notifications
    // are dropped with the page.
    m_worker.reset();
    ShowBusyCursor(false);
}

void DornFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_initialised) Initialise();
}

void DornFrame::Initialise() {
    if (m_initialised) return;
    m_initialised = true;
    try {
        RegKey key;
        key.Open();
        m_worker = std::make_unique<Worker>(*this, m_state, m_console);
        m_worker->thread().Start(*m_worker);
        const int stored = key.ReadInt(kPortValue, 0);
        key.Close();
        // A stored item the list does not have leaves no port selected.
        m_port->SetItemIndex(stored >= 0 && stored < m_port->count() ? stored : 0);
        cbPortChange();
    } catch (const std::exception& error) {
        m_console.message(error.what());
        UpdateControls();
    }
}

void DornFrame::UpdateFromState() {
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

bool DornFrame::busy() const { return m_worker && m_worker->controller().busy(); }

void DornFrame::UpdateControls() {
    const bool pulse = m_state.hasPulseOutput();
    const bool busy = this->busy();
    // Until the page is initialised there is no controller and no port.
    const bool exchange = m_worker && m_worker->controller().canExchange();
    if (m_worker) m_port->SetItemIndex(m_worker->controller().port());
    m_read->setEnabled(exchange);
    m_write->setEnabled(exchange);
    m_outTypeLabel->setVisible(pulse);
    m_outType->setVisible(pulse);
    m_port->SetEnabled(!busy);
    ShowBusyCursor(busy);
}

void DornFrame::ShowBusyCursor(bool busy) {
    if (busy == m_cursorBusy) return;
    m_cursorBusy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

template <class Action>
void DornFrame::Run(Action&& action) {
    if (!m_worker) return;
    try {
        action(m_worker->controller());
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
    UpdateControls();
}

void DornFrame::cbPortChange() {
    const int position = m_port->GetItemIndex();
    Run([position](DornPageController& controller) { controller.cbPortChange(position); });
}

void DornFrame::cbDuChange() {
    const int index = m_du->currentIndex();
    if (index >= 0) m_state.selectDiameter(index);
}

void DornFrame::bnWriteClick() {
    Run([](DornPageController& controller) { controller.bnWriteClick(); });
}

void DornFrame::bnReadClick() {
    Run([](DornPageController& controller) { controller.bnReadClick(); });
}

void DornFrame::HandleResult(bool ok) {
    if (!m_worker) return;
    // The fields the result fills repaint through the state's callback.
    const int code = m_worker->controller().HandleResult(ok);
    UpdateControls();
    emit resultHandled(code, ok);
}
