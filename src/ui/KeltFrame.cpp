#include "KeltFrame.h"

#include "ExchangeLogWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <limits>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "components/Accessibility.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"
#include "devices/kelt/Kelt.h"

namespace {

constexpr const char* kPortValue = "KeltComPort";
constexpr const char* kNoPortItem = "-------";

// The amplitude colours: green for one the link can work with, red else.
const QColor kGoodAmplitude(0, 128, 0);
const QColor kBadAmplitude(255, 0, 0);

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

QStringList toQt(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) list << fromStd(item);
    return list;
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

QLabel* label(const QString& text, const char* objectName, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(objectName));
    LabelControl(l, buddy);
    return l;
}

// Wide enough for `sample` in the edit's font, and no wider.
void fitWidth(QWidget* edit, const QString& sample) {
    const int text = edit->fontMetrics().horizontalAdvance(sample);
    edit->setFixedWidth(text + 16);
}

}  // namespace


TKeltFrame::TKeltFrame(Kelt& device, Console& console, QWidget* parent)
    : DevicePage(console, kPortValue, parent), m_device(device), m_state(device.page()) {
    setProperty("helpKeyword", QStringLiteral("kelt_main"));
    BuildControls();

    // The port list is the program's one list; no port is selected until
    // the page is initialised.
    m_port->addItem(QString::fromLatin1(kNoPortItem));
    AddPortItems(*m_port);
    m_port->SetItemIndex(0);
    ShowAmplitude({0, kelt::AmplitudeGood(0)});

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
    QFormLayout* top = BuildPortRows();
    BuildAdapterGroup();
    BuildParametersGroup();

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

QFormLayout* TKeltFrame::BuildPortRows() {
    m_port = named(new TDisComboBox(this), "cbPort", QStringLiteral("COM-порт"));
    m_port->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_port->setMinimumWidth(120);
    m_devNum = named(new QLineEdit(this), "edDevNum", QStringLiteral("Заводской номер КЕЛТ"));
    fitWidth(m_devNum, QStringLiteral("0000000000"));
    auto* form = new QFormLayout;
    form->addRow(label(QStringLiteral("COM-порт:"), "lbPort", m_port, this), m_port);
    // Under the port rather than beside it: the page's left column is narrow
    // and a device path needs the whole row.
    form->addRow(QString(), MakeExchangeLogButton(this, [this] { return PortName(); }));
    form->addRow(label(QStringLiteral("Зав. № КЕЛТ:"), "lbDevNum", m_devNum, this), m_devNum);
    return form;
}

void TKeltFrame::BuildAdapterGroup() {
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
}

void TKeltFrame::BuildParametersGroup() {
    m_parameters = named(new QGroupBox(QStringLiteral("Параметры КЕЛТ"), this), "gbParameters",
                         QStringLiteral("Параметры КЕЛТ"));
    QGridLayout* segments = BuildSegmentRows();
    QHBoxLayout* outputs = BuildOutputRows();
    QHBoxLayout* buttons = BuildParameterButtons();

    auto* parameters = new QVBoxLayout(m_parameters);
    parameters->addLayout(segments);
    parameters->addSpacing(6);
    parameters->addLayout(outputs);
    parameters->addSpacing(6);
    parameters->addLayout(buttons);
}

// A1 … A5 and B1 … B5 of the segments, with the boundaries F12 … F45 beside them.
QGridLayout* TKeltFrame::BuildSegmentRows() {
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
            TakeLimits(edit, *field);
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
        TakeLimits(m_f[k], m_state.f(k));
        fitWidth(m_f[k], QStringLiteral("32768,000000"));
        segments->addWidget(m_fLabel[k], k, 4);
        segments->addWidget(m_f[k], k, 5);
    }
    segments->setColumnMinimumWidth(4, 60);
    segments->setColumnStretch(6, 1);
    return segments;
}

// Diameter, output type and pulse weight; pulse length, n and the
// temperature correction.
QHBoxLayout* TKeltFrame::BuildOutputRows() {
    m_du = named(new TDisComboBox(m_parameters), "cbDu", QStringLiteral("Ду"));
    m_outType = named(new TDisComboBox(m_parameters), "cbOutType", QString());
    m_outTypeLabel = label(QString(), "Label1", m_outType, m_parameters);
    m_weight = named(new TDisComboBox(m_parameters), "cbWeight", QStringLiteral("Цена импульса, м3"));
    m_weightLabel = label(QStringLiteral("Цена импульса, м3:"), "lbWeight", m_weight, m_parameters);
    m_tau = named(new TFloatEdit(m_parameters), "edTauOut", QStringLiteral("Длительность импульса, мс"));
    m_tauLabel = label(QStringLiteral("Длительность импульса, мс:"), "Label21", m_tau, m_parameters);
    TakeLimits(m_tau, m_state.pulseLength());
    fitWidth(m_tau, QStringLiteral("000,000"));
    m_n = named(new TIntEdit(m_parameters), "edN", QStringLiteral("Коэффициент n"));
    m_nLabel = label(QStringLiteral("Коэффициент n:"), "lbN", m_n, m_parameters);
    TakeLimits(m_n, m_state.n());
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
    TakeLimits(m_offset, m_state.temperatureCorrection());
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
    return outputs;
}

QHBoxLayout* TKeltFrame::BuildParameterButtons() {
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
    return buttons;
}

void TKeltFrame::BindInput() {
    // User input goes into the state (FromControl).
    for (int i = 0; i < KeltPageState::kSegments; ++i) {
        connect(m_a[i], &TFloatEdit::valueChanged, this,
                [this, i](double v) { FromControl([&] { m_state.a(i).setValue(v); }); });
        connect(m_b[i], &TFloatEdit::valueChanged, this,
                [this, i](double v) { FromControl([&] { m_state.b(i).setValue(v); }); });
    }
    for (int k = 0; k < KeltPageState::kBoundaries; ++k)
        connect(m_f[k], &TFloatEdit::valueChanged, this,
                [this, k](double v) { FromControl([&] { m_state.f(k).setValue(v); }); });
    connect(m_tau, &TFloatEdit::valueChanged, this,
            [this](double v) { FromControl([&] { m_state.pulseLength().setValue(v); }); });
    connect(m_n, &TIntEdit::valueChanged, this,
            [this](int v) { FromControl([&] { m_state.n().setValue(v); }); });
    connect(m_offset, &TIntEdit::valueChanged, this,
            [this](int v) { FromControl([&] { m_state.temperatureCorrection().setValue(v); }); });
    connect(m_devNum, &QLineEdit::textEdited, this, [this](const QString& text) {
        FromControl([&] { m_state.setSerialText(text.toStdString()); });
    });
    connect(m_level, &QSlider::valueChanged, this,
            [this](int v) { FromControl([&] { m_state.level().setValue(v); }); });

    connect(m_port, &QComboBox::activated, this, [this](int) { cbPortChange(); });
    // cbDuChange, cbOutTypeChange and cbWeightChange: the state's rules.
    connect(m_du, &QComboBox::activated, this, [this](int index) { m_state.selectDiameter(index); });
    connect(m_outType, &QComboBox::activated, this, [this](int index) { m_state.selectOutputType(index); });
    connect(m_weight, &QComboBox::activated, this, [this](int index) { m_state.selectWeight(index); });
    const std::pair<QPushButton*, Handler> clicks[] = {
        {m_setLevel, &KeltPageController::bnSetLevelClick}, {m_getAmp, &KeltPageController::bnGetAmpClick},
        {m_reset, &KeltPageController::bnResetClick},       {m_auto, &KeltPageController::bnAutoClick},
        {m_read, &KeltPageController::bnReadClick},         {m_write, &KeltPageController::bnWriteClick},
        {m_getT, &KeltPageController::bnGetTClick},         {m_getU, &KeltPageController::bnGetUClick},
        {m_getVerCrc, &KeltPageController::bnGetVerCrcClick},
    };
    for (const auto& [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this, [this, handler = handler] { Request(handler); });
}

void TKeltFrame::Start() {
    m_worker = std::make_unique<Worker>(
        *this, &TKeltFrame::HandleResult, &TKeltFrame::PortNotified,
        [this](KeltThread& thread) { return KeltPageController(m_state, thread, m_console); });
    Worker* worker = m_worker.get();
    worker->thread().setSleep([worker](std::chrono::milliseconds time) { worker->Sleep(time); });
    worker->Start();
    m_port->SetItemIndex(m_storedPort.Load(comprt::ComPort::PortList().Names(), 1));
    cbPortChange();
    UpdateControls();
}

TKeltFrame::~TKeltFrame() {
    m_state.setChangedCallback(nullptr);
    // A page never shown has no worker and stores nothing.
    if (m_worker) m_storedPort.Save(m_worker->controller().port());
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

    const bool busy = m_busy.busy();
    m_port->SetEnabled(!busy);
    // While the port is away nothing is sent; picking a port stays possible.
    const bool away = m_worker && m_worker->controller().portAway();
    for (QPushButton* button : {m_setLevel, m_getAmp, m_reset, m_auto, m_read, m_write, m_getU, m_getT, m_getVerCrc})
        button->setEnabled(!busy && !away);
}

void TKeltFrame::ShowAmplitude(const PageResult::Amplitude& amplitude) {
    m_amp->setText(QString::number(amplitude.value));
    QPalette palette = m_amp->palette();
    palette.setColor(QPalette::WindowText, amplitude.good ? kGoodAmplitude : kBadAmplitude);
    m_amp->setPalette(palette);
}

void TKeltFrame::Request(Handler handler) {
    Run([handler](KeltPageController& c) { (c.*handler)(); });
}

void TKeltFrame::Run(const std::function<void(KeltPageController&)>& post) {
    if (!m_worker) return;
    KeltPageController& controller = m_worker->controller();
    try {
        post(controller);
    } catch (const std::exception& error) {
        ShowError(error.what());
        return;
    }
    m_busy.Set(controller.busy(), [this] { UpdateControls(); });
}

void TKeltFrame::PortNotified(bool back) {
    if (!m_worker) return;
    m_worker->controller().PortNotified(back);
    UpdateControls();
}

void TKeltFrame::HandleResult(bool ok) {
    if (!m_worker) return;
    const PageResult result = m_worker->controller().HandleResult(ok);
    if (result.port) m_port->SetItemIndex(*result.port);
    if (result.amplitude) ShowAmplitude(*result.amplitude);
    m_busy.Set(result.busy, [this] { UpdateControls(); });
    emit resultHandled(result.code, result.detail, result.ok);
}

QString TKeltFrame::PortName() const { return PortNameAt(m_port->GetItemIndex()); }

void TKeltFrame::cbPortChange() {
    const int position = m_port->GetItemIndex();
    Run([position](KeltPageController& c) { c.cbPortChange(position); });
}
