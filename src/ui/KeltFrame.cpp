#include "KeltFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"
#include "devices/kelt/Kelt.h"
#include "devices/kelt/KeltPageController.h"
#include "devices/kelt/KeltThread.h"
#include "link/RegKey.h"

namespace {

constexpr const char* kPortValue = "KeltComPort";
constexpr const char* kNoPortItem = "-------";

// The amplitude colours: green inside 25 … 80, red outside.
const QColor kGoodAmplitude(0, 128, 0);
const QColor kBadAmplitude(255, 0, 0);

TKeltFrame::ErrorBox g_errorBox;

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

QStringList toQt(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) list << fromStd(item);
    return list;
}

void showError(QWidget* owner, const QString& text) {
    if (g_errorBox)
        g_errorBox(owner, text);
    else
        QMessageBox::critical(owner, QApplication::applicationDisplayName(), text);
}

// Replaces a list's items only when they differ, so that an open list and
// its selection are left alone by a repaint that changes nothing.
void setItems(TDisComboBox* box, const std::vector<std::string>& items) {
    const QStringList wanted = toQt(items);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
    if (shown == wanted) return;
    box->clear();
    box->addItems(wanted);
}

// Names a control for the program (the object name scripts and tests use)
// and for a person (what a screen reader says).
template <class W>
W* named(W* widget, const char* objectName, const QString& accessibleName) {
    widget->setObjectName(QLatin1String(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
}

QLabel* label(const QString& text, const char* objectName, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(objectName));
    l->setBuddy(buddy);
    return l;
}

// Wide enough for `sample` in the edit's font, and no wider.
void fitWidth(QWidget* edit, const QString& sample) {
    const int text = edit->fontMetrics().horizontalAdvance(sample);
    edit->setFixedWidth(text + 16);
}

}  // namespace

// The page's worker and the notifier that carries its results over to the
// window thread: the worker thread only queues a call on the page, which the
// event loop runs later; a call still queued when the page is gone is
// dropped. The worker's waits (the 12-second pause after a busy answer
// among them) end at once when the page closes, so that closing a document
// never waits for a pause to run out.
class TKeltFrame::Worker final : public QueueNotifier {
public:
    explicit Worker(TKeltFrame& frame) : m_frame(&frame) {
        m_thread.setSleep([this](std::chrono::milliseconds time) { Sleep(time); });
    }
    ~Worker() override {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_all();
        m_thread.Stop();
    }

    void Notify(unsigned message, std::intptr_t param1, std::intptr_t /*param2*/) override {
        if (message != kResultMessage) return;
        const bool ok = param1 != 0;
        QPointer<TKeltFrame> frame = m_frame;
        QMetaObject::invokeMethod(
            m_frame.data(), [frame, ok] { if (frame) frame->HandleResult(ok); }, Qt::QueuedConnection);
    }

    KeltThread& thread() { return m_thread; }

private:
    void Sleep(std::chrono::milliseconds time) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, time, [this] { return m_closing; });
    }

    QPointer<TKeltFrame> m_frame;  // made on the window thread, copied by the worker
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_closing = false;
    KeltThread m_thread;  // last: its thread uses the members above
};

void TKeltFrame::SetErrorBox(ErrorBox box) { g_errorBox = std::move(box); }

TKeltFrame::TKeltFrame(Kelt& device, Console& console, QWidget* parent)
    : QWidget(parent), m_device(device), m_state(device.page()), m_console(console) {
    setProperty("helpKeyword", QStringLiteral("kelt_main"));
    BuildControls();

    // The port list is the program's one list; no port is selected until
    // the page is initialised.
    m_port->addItem(QString::fromLatin1(kNoPortItem));
    for (const std::string& name : comprt::ComPort::PortList().Names()) m_port->addItem(fromStd(name));
    m_port->SetItemIndex(0);
    ShowAmplitude(0);

    UpdateFromState();
    UpdateControls();
    m_state.setChangedCallback([this] {
        if (m_updating) return;
        UpdateFromState();
        UpdateControls();
    });
    BindInput();
}

void TKeltFrame::BuildControls() {
    // Top: port and factory number.
    m_port = named(new TDisComboBox(this), "cbPort", QStringLiteral("COM-порт"));
    m_port->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_port->setMinimumWidth(120);
    m_devNum = named(new QLineEdit(this), "edDevNum", QStringLiteral("Заводской номер КЕЛТ"));
    fitWidth(m_devNum, QStringLiteral("0000000000"));
    auto* top = new QFormLayout;
    top->addRow(label(QStringLiteral("COM-порт:"), "lbPort", m_port, this), m_port);
    top->addRow(label(QStringLiteral("Зав. № КЕЛТ:"), "lbDevNum", m_devNum, this), m_devNum);

    // The adapter: threshold, amplitude, and its four commands.
    m_adapter = named(new QGroupBox(QStringLiteral("Адаптер ОРБ-КЕЛТ"), this), "gbAdapter",
                      QStringLiteral("Адаптер ОРБ-КЕЛТ"));
    m_level = named(new QSlider(Qt::Horizontal, m_adapter), "tbLevel",
                    QStringLiteral("Порог выделения сигнала от КЕЛТ"));
    m_level->setRange(0, 3);
    m_level->setPageStep(1);
    m_level->setSingleStep(1);
    m_level->setTickPosition(QSlider::TicksBelow);
    m_level->setTickInterval(1);
    m_amp = named(new QLabel(m_adapter), "lbAmp", QStringLiteral("Параметр связи (25..80)"));
    m_amp->setMinimumWidth(m_amp->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 4);
    m_setLevel = named(new QPushButton(QStringLiteral("Установить"), m_adapter), "bnSetLevel",
                       QStringLiteral("Установить порог"));
    m_getAmp = named(new QPushButton(QStringLiteral("Контроль"), m_adapter), "bnGetAmp",
                     QStringLiteral("Контроль параметра связи"));
    m_reset = named(new QPushButton(QStringLiteral("Сброс"), m_adapter), "bnReset",
                    QStringLiteral("Сброс адаптера"));
    m_auto = named(new QPushButton(QStringLiteral("Автонастройка"), m_adapter), "bnAuto",
                   QStringLiteral("Автонастройка адаптера"));
    auto* adapter = new QVBoxLayout(m_adapter);
    // The long caption wraps rather than widen the page's left column.
    QLabel* levelLabel = label(QStringLiteral("Порог выделения сигнала от КЕЛТ:"), "lbLevel", m_level, m_adapter);
    levelLabel->setWordWrap(true);
    adapter->addWidget(levelLabel);
    adapter->addWidget(m_level);
    auto* amplitude = new QHBoxLayout;
    amplitude->addWidget(label(QStringLiteral("Параметр связи (25..80):"), "lbAmpCaption", m_amp, m_adapter));
    amplitude->addWidget(m_amp);
    amplitude->addStretch();
    adapter->addLayout(amplitude);
    auto* adapterButtons = new QGridLayout;
    adapterButtons->addWidget(m_setLevel, 0, 0);
    adapterButtons->addWidget(m_getAmp, 0, 1);
    adapterButtons->addWidget(m_reset, 1, 0);
    adapterButtons->addWidget(m_auto, 1, 1);
    adapter->addLayout(adapterButtons);

    // The parameters: segments with their boundaries, then the outputs.
    m_parameters = named(new QGroupBox(QStringLiteral("Параметры КЕЛТ"), this), "gbParameters",
                         QStringLiteral("Параметры КЕЛТ"));
    auto* segments = new QGridLayout;
    segments->setHorizontalSpacing(6);
    const char* aNames[] = {"edA1", "edA2", "edA3", "edA4", "edA5"};
    const char* bNames[] = {"edB1", "edB2", "edB3", "edB4", "edB5"};
    const char* aLabels[] = {"lbA1", "lbA2", "lbA3", "lbA4", "lbA5"};
    const char* bLabels[] = {"lbB1", "lbB2", "lbB3", "lbB4", "lbB5"};
    const char* fNames[] = {"edF12", "edF23", "edF34", "edF45"};
    const char* fLabels[] = {"lbF12", "lbF23", "lbF34", "lbF45"};
    const QString coefficientSample = QStringLiteral("-558,0000000");
    for (int i = 0; i < KeltPageState::kSegments; ++i) {
        const QString digit = QString::number(i + 1);
        m_a[i] = named(new TFloatEdit(m_parameters), aNames[i], QStringLiteral("Коэффициент A") + digit);
        m_b[i] = named(new TFloatEdit(m_parameters), bNames[i], QStringLiteral("Коэффициент B") + digit);
        m_aLabel[i] = label(QStringLiteral("A%1:").arg(digit), aLabels[i], m_a[i], m_parameters);
        m_bLabel[i] = label(QStringLiteral("B%1:").arg(digit), bLabels[i], m_b[i], m_parameters);
        for (auto [edit, field] : {std::pair{m_a[i], &m_state.a(i)}, std::pair{m_b[i], &m_state.b(i)}}) {
            edit->SetDigits(field->digits());
            edit->SetMin(field->min());
            edit->SetMax(field->max());
            fitWidth(edit, coefficientSample);
        }
        segments->addWidget(m_aLabel[i], i, 0);
        segments->addWidget(m_a[i], i, 1);
        segments->addWidget(m_bLabel[i], i, 2);
        segments->addWidget(m_b[i], i, 3);
    }
    for (int k = 0; k < KeltPageState::kBoundaries; ++k) {
        const QString digits = QString::number(k + 1) + QString::number(k + 2);
        m_f[k] = named(new TFloatEdit(m_parameters), fNames[k],
                       QStringLiteral("Граничная частота F%1, Гц").arg(digits));
        m_fLabel[k] = label(QStringLiteral("F%1, Гц:").arg(digits), fLabels[k], m_f[k], m_parameters);
        const FloatField& field = m_state.f(k);
        m_f[k]->SetDigits(field.digits());
        m_f[k]->SetMin(field.min());
        m_f[k]->SetMax(field.max());
        fitWidth(m_f[k], QStringLiteral("32768,000000"));
        segments->addWidget(m_fLabel[k], k, 4);
        segments->addWidget(m_f[k], k, 5);
    }
    segments->setColumnMinimumWidth(4, 60);
    segments->setColumnStretch(6, 1);

    m_du = named(new TDisComboBox(m_parameters), "cbDu", QStringLiteral("Ду"));
    m_outType = named(new TDisComboBox(m_parameters), "cbOutType", QString());
    m_outTypeLabel = label(QString(), "Label1", m_outType, m_parameters);
    m_weight = named(new TDisComboBox(m_parameters), "cbWeight", QStringLiteral("Цена импульса, м3"));
    m_weightLabel = label(QStringLiteral("Цена импульса, м3:"), "lbWeight", m_weight, m_parameters);
    m_tau = named(new TFloatEdit(m_parameters), "edTauOut", QStringLiteral("Длительность импульса, мс"));
    m_tauLabel = label(QStringLiteral("Длительность импульса, мс:"), "Label21", m_tau, m_parameters);
    m_tau->SetDigits(m_state.pulseLength().digits());
    m_tau->SetMin(m_state.pulseLength().min());
    m_tau->SetMax(m_state.pulseLength().max());
    fitWidth(m_tau, QStringLiteral("000,000"));
    m_n = named(new TIntEdit(m_parameters), "edN", QStringLiteral("Коэффициент n"));
    m_nLabel = label(QStringLiteral("Коэффициент n:"), "lbN", m_n, m_parameters);
    m_n->SetMin(m_state.n().min());
    m_n->SetMax(m_state.n().max());
    fitWidth(m_n, QStringLiteral("0000"));
    m_offset = named(new TIntEdit(m_parameters), "edOffset", QStringLiteral("Коррекция температуры, °C"));
    m_offsetLabel = label(QStringLiteral("Коррекция температуры, °C:"), "lbOffset", m_offset, m_parameters);
    // The field holds half degrees and shows and takes degrees.
    m_offset->SetOnSetText([](int halfDegrees) { return fromStd(KeltPageState::correctionText(halfDegrees)); });
    m_offset->SetOnGetText([](const QString& text) -> std::optional<int> {
        const auto value = KeltPageState::correctionFromText(text.toStdString());
        if (!value) return std::nullopt;
        return static_cast<int>(std::clamp<long long>(*value, std::numeric_limits<int>::min(),
                                                      std::numeric_limits<int>::max()));
    });
    m_offset->SetMin(m_state.temperatureCorrection().min());
    m_offset->SetMax(m_state.temperatureCorrection().max());
    fitWidth(m_offset, QStringLiteral("-0,00"));
    // A typed pulse length becomes one the model can store as it is typed.
    m_tau->SetOnChangeValue([this](double& ms) { ms = KeltPageState::storablePulseLength(m_state.model(), ms); });

    // Two columns of outputs; a row the model does not have leaves no gap.
    m_outputForm = new QFormLayout;
    m_outputForm->addRow(label(QStringLiteral("Ду:"), "lbDu", m_du, m_parameters), m_du);
    m_outputForm->addRow(m_outTypeLabel, m_outType);
    m_outputForm->addRow(m_weightLabel, m_weight);
    m_pulseForm = new QFormLayout;
    m_pulseForm->addRow(m_tauLabel, m_tau);
    m_pulseForm->addRow(m_nLabel, m_n);
    m_pulseForm->addRow(m_offsetLabel, m_offset);
    auto* outputs = new QHBoxLayout;
    outputs->addLayout(m_outputForm);
    outputs->addSpacing(8);
    outputs->addLayout(m_pulseForm);
    outputs->addStretch();

    m_read = named(new QPushButton(QStringLiteral("Считать"), m_parameters), "bnRead",
                   QStringLiteral("Считать параметры"));
    m_write = named(new QPushButton(QStringLiteral("Записать"), m_parameters), "bnWrite",
                    QStringLiteral("Записать параметры"));
    m_getT = named(new QPushButton(m_parameters), "bnGetT", QString());
    m_getU = named(new QPushButton(QStringLiteral("Считать Ubat"), m_parameters), "bnGetU",
                   QStringLiteral("Считать напряжение батареи"));
    m_getVerCrc = named(new QPushButton(QStringLiteral("Версия/КС ПО"), m_parameters), "bnGetVerCrc",
                        QStringLiteral("Версия и контрольная сумма ПО"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_read, m_write, m_getT, m_getU, m_getVerCrc}) buttons->addWidget(button);
    buttons->addStretch();

    // Kept with the state for block 4; the page never shows them.
    m_disableRestore = named(new QCheckBox(QStringLiteral("Отключить восстановление "), m_parameters),
                             "DisableRestore", QStringLiteral("Отключить восстановление"));
    m_disableThermocorrection =
        named(new QCheckBox(QStringLiteral("Отключить термокоррекцию"), m_parameters), "DisableThermocorrection",
              QStringLiteral("Отключить термокоррекцию"));
    m_disableRestore->hide();
    m_disableThermocorrection->hide();

    auto* parameters = new QVBoxLayout(m_parameters);
    parameters->addLayout(segments);
    parameters->addSpacing(6);
    parameters->addLayout(outputs);
    parameters->addSpacing(6);
    parameters->addLayout(buttons);

    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addWidget(m_adapter);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(m_parameters);
    right->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right);
    layout->addStretch();
}

void TKeltFrame::BindInput() {
    // User input goes into the state; the state's change does not come back
    // into the control being typed in.
    const auto fromControl = [this](auto&& apply) {
        if (m_updating) return;
        m_updating = true;
        apply();
        m_updating = false;
    };
    for (int i = 0; i < KeltPageState::kSegments; ++i) {
        connect(m_a[i], &TFloatEdit::valueChanged, this,
                [this, fromControl, i](double v) { fromControl([&] { m_state.a(i).setValue(v); }); });
        connect(m_b[i], &TFloatEdit::valueChanged, this,
                [this, fromControl, i](double v) { fromControl([&] { m_state.b(i).setValue(v); }); });
    }
    for (int k = 0; k < KeltPageState::kBoundaries; ++k)
        connect(m_f[k], &TFloatEdit::valueChanged, this,
                [this, fromControl, k](double v) { fromControl([&] { m_state.f(k).setValue(v); }); });
    connect(m_tau, &TFloatEdit::valueChanged, this,
            [this, fromControl](double v) { fromControl([&] { m_state.pulseLength().setValue(v); }); });
    connect(m_n, &TIntEdit::valueChanged, this,
            [this, fromControl](int v) { fromControl([&] { m_state.n().setValue(v); }); });
    connect(m_offset, &TIntEdit::valueChanged, this,
            [this, fromControl](int v) { fromControl([&] { m_state.temperatureCorrection().setValue(v); }); });
    connect(m_devNum, &QLineEdit::textEdited, this, [this, fromControl](const QString& text) {
        fromControl([&] { m_state.setSerialText(text.toStdString()); });
    });
    connect(m_level, &QSlider::valueChanged, this,
            [this, fromControl](int v) { fromControl([&] { m_state.level().setValue(v); }); });

    connect(m_port, &QComboBox::activated, this, [this](int) { cbPortChange(); });
    connect(m_du, &QComboBox::activated, this, [this](int) { cbDuChange(); });
    connect(m_outType, &QComboBox::activated, this, [this](int) { cbOutTypeChange(); });
    connect(m_weight, &QComboBox::activated, this, [this](int) { cbWeightChange(); });
    connect(m_setLevel, &QPushButton::clicked, this, [this] { bnSetLevelClick(); });
    connect(m_getAmp, &QPushButton::clicked, this, [this] { bnGetAmpClick(); });
    connect(m_reset, &QPushButton::clicked, this, [this] { bnResetClick(); });
    connect(m_auto, &QPushButton::clicked, this, [this] { bnAutoClick(); });
    connect(m_read, &QPushButton::clicked, this, [this] { bnReadClick(); });
    connect(m_write, &QPushButton::clicked, this, [this] { bnWriteClick(); });
    connect(m_getT, &QPushButton::clicked, this, [this] { bnGetTClick(); });
    connect(m_getU, &QPushButton::clicked, this, [this] { bnGetUClick(); });
    connect(m_getVerCrc, &QPushButton::clicked, this, [this] { bnGetVerCrcClick(); });
}

TKeltFrame::~TKeltFrame() {
    m_state.setChangedCallback(nullptr);
    if (m_initialised) {
        try {
            RegKey key;
            key.Open();
            key.WriteInt(kPortValue, m_port->GetItemIndex());
        } catch (const std::exception& error) {
            m_console.message(error.what());
        }
    }
    // Stopping lets the requests already queued finish (a pause ends at
    // once); their notifications are dropped with the page.
    m_worker.reset();
    m_controller.reset();
    if (m_busy) QApplication::restoreOverrideCursor();
}

void TKeltFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_initialised) Initialise();
}

void TKeltFrame::Initialise() {
    if (m_initialised) return;
    m_initialised = true;
    try {
        m_worker = std::make_unique<Worker>(*this);
        m_controller = std::make_unique<KeltPageController>(m_state, m_worker->thread(), m_console);
        m_worker->thread().Start(*m_worker);
        RegKey key;
        key.Open();
        m_port->SetItemIndex(0);
        const int stored = key.ReadInt(kPortValue, 0);
        // A stored item the list does not have leaves no port selected.
        m_port->SetItemIndex(stored >= 0 && stored < m_port->count() ? stored : -1);
        key.Close();
        cbPortChange();
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
    UpdateControls();
}

void TKeltFrame::UpdateFromState() {
    const bool updating = m_updating;
    m_updating = true;
    const QString serial = fromStd(m_state.serialText());
    if (m_devNum->text() != serial) m_devNum->setText(serial);
    m_level->setValue(m_state.level().value());
    for (int i = 0; i < KeltPageState::kSegments; ++i) {
        m_a[i]->SetValue(m_state.a(i).value());
        m_b[i]->SetValue(m_state.b(i).value());
    }
    for (int k = 0; k < KeltPageState::kBoundaries; ++k) m_f[k]->SetValue(m_state.f(k).value());
    setItems(m_du, m_state.diameter().items());
    m_du->SetItemIndex(m_state.diameter().index());
    setItems(m_outType, m_state.outputType().items());
    m_outType->SetItemIndex(m_state.outputType().index());
    setItems(m_weight, m_state.weight().items());
    m_weight->SetItemIndex(m_state.weight().index());
    m_tau->SetValue(m_state.pulseLength().value());
    m_n->SetMax(m_state.n().max());
    m_n->SetValue(m_state.n().value());
    m_offset->SetValue(m_state.temperatureCorrection().value());
    m_disableRestore->setChecked(m_state.disableRestore());
    m_disableThermocorrection->setChecked(m_state.disableThermocorrection());
    m_updating = updating;
}

void TKeltFrame::UpdateControls() {
    const KeltPageView& view = m_state.view();

    const QString getT = fromStd(view.getTCaption);
    m_getT->setText(getT);
    m_getT->setAccessibleName(getT);
    const QString outType = fromStd(view.outTypeCaption);
    m_outTypeLabel->setText(outType);
    m_outType->setAccessibleName(outType.endsWith(QLatin1Char(':')) ? outType.chopped(1) : outType);

    m_pulseForm->setRowVisible(m_offset, view.temperatureCorrection);
    m_getT->setVisible(view.temperatureCorrection);
    for (QWidget* w : {static_cast<QWidget*>(m_aLabel[4]), static_cast<QWidget*>(m_a[4]),
                       static_cast<QWidget*>(m_bLabel[4]), static_cast<QWidget*>(m_b[4]),
                       static_cast<QWidget*>(m_fLabel[3]), static_cast<QWidget*>(m_f[3])})
        w->setVisible(view.segment5);
    m_adapter->setVisible(view.adapter);
    m_getU->setVisible(view.adapter);
    m_getVerCrc->setVisible(view.versionButton);
    m_outputForm->setRowVisible(m_weight, view.weight);
    m_pulseForm->setRowVisible(m_n, view.n);
    m_pulseForm->setRowVisible(m_tau, view.pulseLength);
    m_tau->SetReadOnly(view.pulseLengthReadOnly);

    for (int i = 0; i < KeltPageState::kSegments; ++i) {
        m_a[i]->setEnabled(view.coefficientsEnabled);
        m_b[i]->setEnabled(view.coefficientsEnabled);
    }
    for (TFloatEdit* f : m_f) f->setEnabled(view.coefficientsEnabled);
    m_weight->SetEnabled(view.coefficientsEnabled);
    m_tau->setEnabled(view.coefficientsEnabled);

    m_port->SetEnabled(!m_busy);
    for (QPushButton* button : {m_setLevel, m_getAmp, m_reset, m_auto, m_read, m_write, m_getU, m_getT, m_getVerCrc})
        button->setEnabled(!m_busy);
}

void TKeltFrame::ShowAmplitude(int amplitude) {
    m_amp->setText(QString::number(amplitude));
    QPalette palette = m_amp->palette();
    palette.setColor(QPalette::WindowText, amplitude >= 25 && amplitude <= 80 ? kGoodAmplitude : kBadAmplitude);
    m_amp->setPalette(palette);
}

void TKeltFrame::SetBusy(bool busy) {
    if (busy == m_busy) return;
    if (busy) {
        m_focusBefore = QApplication::focusWidget();
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_busy = true;
        UpdateControls();
        // Disabling the focused button moves the focus on; where it went is
        // remembered so that it can be given back if the user left it there.
        m_focusAfter = QApplication::focusWidget();
    } else {
        QApplication::restoreOverrideCursor();
        m_busy = false;
        UpdateControls();
        if (m_focusBefore && QApplication::focusWidget() == m_focusAfter.data())
            m_focusBefore->setFocus(Qt::OtherFocusReason);
        m_focusBefore = nullptr;
        m_focusAfter = nullptr;
    }
}

void TKeltFrame::Request(const std::function<void()>& post) {
    if (!m_controller) return;
    try {
        post();
    } catch (const std::exception& error) {
        showError(this, QString::fromUtf8(error.what()));
        return;
    }
    if (m_controller->busy()) SetBusy(true);
}

void TKeltFrame::HandleResult(bool ok) {
    if (!m_controller) return;
    const auto& item = m_worker->thread().Front();
    const int code = item.code;
    const int sub = item.param.sub;
    m_controller->HandleResult(ok);
    if (code == kelt::kOpenSlow || code == kelt::kOpenFast) m_port->SetItemIndex(m_controller->port());
    ShowAmplitude(m_controller->amplitude());
    if (!m_controller->busy()) SetBusy(false);
    emit resultHandled(code, sub, ok);
}

void TKeltFrame::cbPortChange() {
    Request([this] { m_controller->cbPortChange(m_port->GetItemIndex()); });
}

void TKeltFrame::cbDuChange() {
    const int index = m_du->currentIndex();
    if (index >= 0) m_state.selectDiameter(index);
}

void TKeltFrame::cbOutTypeChange() {
    const int index = m_outType->currentIndex();
    if (index >= 0) m_state.selectOutputType(index);
}

void TKeltFrame::cbWeightChange() {
    const int index = m_weight->currentIndex();
    if (index >= 0) m_state.selectWeight(index);
}

void TKeltFrame::bnSetLevelClick() {
    Request([this] { m_controller->bnSetLevelClick(); });
}
void TKeltFrame::bnGetAmpClick() {
    Request([this] { m_controller->bnGetAmpClick(); });
}
void TKeltFrame::bnResetClick() {
    Request([this] { m_controller->bnResetClick(); });
}
void TKeltFrame::bnAutoClick() {
    Request([this] { m_controller->bnAutoClick(); });
}
void TKeltFrame::bnReadClick() {
    Request([this] { m_controller->bnReadClick(); });
}
void TKeltFrame::bnWriteClick() {
    Request([this] { m_controller->bnWriteClick(); });
}
void TKeltFrame::bnGetTClick() {
    Request([this] { m_controller->bnGetTClick(); });
}
void TKeltFrame::bnGetUClick() {
    Request([this] { m_controller->bnGetUClick(); });
}
void TKeltFrame::bnGetVerCrcClick() {
    Request([this] { m_controller->bnGetVerCrcClick(); });
}
