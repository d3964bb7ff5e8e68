#include "SpprDlg.h"

#include "ExchangeLogWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

#include "common/Console.h"
#include "components/Accessibility.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"
#include "comprt/ComPort.h"
#include "devices/nivor/NivorProtocol.h"
#include "document/MeasuredEntry.h"
#include "document/PackageBase.h"

namespace {

constexpr const char* kPortValue = "SpprComPort";
constexpr const char* kNoPortItem = "-------";
constexpr int kPollInterval = 1000;  // ms

TSpprDlg::ErrorBox g_errorBox;

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

void showError(QWidget* owner, const QString& text) {
    if (g_errorBox)
        g_errorBox(owner, text);
    else
        QMessageBox::critical(owner, QApplication::applicationDisplayName(), text);
}

// A read-only value panel: sunken, wide enough for its longest value.
QLabel* panel(QWidget* parent, const char* name, const QString& accessible) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00000000.000")) + 8);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAccessibleName(accessible);
    return label;
}

// Replaces a list's items only when they differ, so that an open list is
// left alone by a repaint that changes nothing.
void setItems(QComboBox* box, const QStringList& items) {
    QStringList shown;
    for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
    if (shown != items) {
        box->clear();
        box->addItems(items);
    }
}

// A control's caption: the label is its buddy, and the caption without the
// colon is what a screen reader says of the control.
QLabel* caption(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    LabelControl(label, buddy);
    return label;
}

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    return box;
}

QStringList toQt(const std::vector<std::string>& items) {
    QStringList out;
    for (const std::string& item : items) out << fromStd(item);
    return out;
}

QStringList inputItems(const std::vector<int>& inputs) {
    QStringList items;
    for (int input : inputs) items << QString::number(input + 1);
    return items;
}

}  // namespace

void TSpprDlg::SetErrorBox(ErrorBox box) { g_errorBox = std::move(box); }

TSpprDlg::TSpprDlg(Console& console, QWidget* parent)
    : QDialog(parent), m_console(console), m_storedPort(kPortValue, console) {
    setObjectName(QStringLiteral("SpprDlg"));
    setWindowTitle(QStringLiteral("НИВ-2.3"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setProperty("helpKeyword", QStringLiteral("niv23_input"));

    m_worker = std::make_unique<Worker>(*this, &TSpprDlg::HandleResult, &TSpprDlg::PortNotified,
                                        [&console](SpprThread& thread) { return SpprController(thread, console); });

    QFormLayout* top = BuildPortRows();
    auto* groups = new QHBoxLayout;
    groups->addWidget(BuildSettingsGroup(), 0, Qt::AlignTop);
    groups->addWidget(BuildDataGroup(), 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(groups);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setInterval(kPollInterval);
    connect(m_timer, &QTimer::timeout, this, [this] { TimerTimer(); });

    // The worker starts, the remembered port opens, the polls begin.
    m_worker->Start();
    const int position = m_storedPort.Load(comprt::ComPort::PortList().Names(), 1);
    Request([position](SpprController& c) { c.cbPortChange(position); });
    m_timer->start();
}

QFormLayout* TSpprDlg::BuildPortRows() {
    m_port = new TDisComboBox(this);
    m_port->setObjectName(QStringLiteral("cbPort"));
    m_port->addItem(QString::fromLatin1(kNoPortItem));
    AddPortItems(*m_port);
    m_u = panel(this, "pnU", QStringLiteral("Напряжение питания, В"));

    auto* top = new QFormLayout;
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_port);
    portRow->addWidget(MakeExchangeLogButton(this, [this] { return PortNameAt(m_port->GetItemIndex()); }));
    top->addRow(caption(this, QStringLiteral("COM-порт:"), m_port), portRow);
    top->addRow(caption(this, QStringLiteral("Напряжение питания, В:"), m_u), m_u);
    connect(m_port, &QComboBox::activated, this, [this](int) { cbPortChange(); });
    return top;
}

// "Настройки": the inputs, the mode with its criterion, the temperature
// channel, and the start and stop buttons.
QGroupBox* TSpprDlg::BuildSettingsGroup() {
    auto* settings = new QGroupBox(QStringLiteral("Настройки"), this);
    settings->setObjectName(QStringLiteral("gbSettings"));
    m_channel1 = combo(this, "cbChannel1", {});
    m_channel2 = combo(this, "cbChannel2", {});
    m_mode = combo(this, "cbMode", toQt(SpprController::modeItems()));
    m_criterion = new QLabel(this);
    m_criterion->setObjectName(QStringLiteral("lbCriterion"));
    m_time = new TFloatEdit(this);
    m_time->setObjectName(QStringLiteral("edTime"));
    m_time->SetDigits(4);
    m_time->SetMin(SpprController::kTimeMin);
    m_time->SetMax(SpprController::kTimeMax);
    m_time->SetValue(m_worker->controller().measurementTime());
    m_time->setAccessibleName(QStringLiteral("Длительность измерения, сек"));
    m_pulses = new TIntEdit(this);
    m_pulses->setObjectName(QStringLiteral("edPulses"));
    m_pulses->SetMin(SpprController::kPulsesMin);
    m_pulses->SetMax(SpprController::kPulsesMax);
    m_pulses->SetValue(m_worker->controller().pulseCount());
    m_pulses->setAccessibleName(QStringLiteral("Количество импульсов"));
    m_blank = new QLabel(this);
    m_blank->setObjectName(QStringLiteral("stBlank"));
    m_blank->setAccessibleName(QStringLiteral("Критерий не нужен"));
    m_criterionField = new QStackedWidget(this);
    m_criterionField->addWidget(m_time);
    m_criterionField->addWidget(m_pulses);
    m_criterionField->addWidget(m_blank);
    m_criterionField->setFixedHeight(m_time->sizeHint().height());
    m_channel = combo(this, "cbChannel", {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    m_tempCh = combo(this, "cbTempCh", toQt(SpprController::tempChannelItems()));
    m_tspType = combo(this, "cbTspType", toQt(SpprController::sensorItems()));
    m_start = new QPushButton(QStringLiteral("Старт"), this);
    m_start->setObjectName(QStringLiteral("bnStart"));
    NameControl(m_start, QStringLiteral("Старт измерения"));
    m_stop = new QPushButton(QStringLiteral("Стоп"), this);
    m_stop->setObjectName(QStringLiteral("bnStop"));
    NameControl(m_stop, QStringLiteral("Стоп измерения"));
    // Neither button is the dialog's default: Enter in an edit takes the
    // typed value, it does not start or stop a measurement.
    m_start->setAutoDefault(false);
    m_stop->setAutoDefault(false);

    auto* settingsForm = new QFormLayout;
    settingsForm->addRow(caption(this, QStringLiteral("Вход 1 (N1, t1):"), m_channel1), m_channel1);
    settingsForm->addRow(caption(this, QStringLiteral("Вход 2 (N2):"), m_channel2), m_channel2);
    settingsForm->addRow(caption(this, QStringLiteral("Режим:"), m_mode), m_mode);
    m_criterion->setBuddy(m_time);
    settingsForm->addRow(m_criterion, m_criterionField);
    settingsForm->addRow(caption(this, QStringLiteral("Вход №:"), m_channel), m_channel);
    settingsForm->addRow(caption(this, QStringLiteral("Канал температуры:"), m_tempCh), m_tempCh);
    settingsForm->addRow(caption(this, QStringLiteral("Датчик температуры:"), m_tspType), m_tspType);
    auto* runButtons = new QHBoxLayout;
    runButtons->addWidget(m_start);
    runButtons->addWidget(m_stop);
    auto* settingsLayout = new QVBoxLayout(settings);
    settingsLayout->addLayout(settingsForm);
    settingsLayout->addLayout(runButtons);

    connect(m_mode, &QComboBox::activated, this, [this](int) { cbModeChange(); });
    connect(m_channel1, &QComboBox::activated, this, [this](int) { cbChannel1Change(); });
    connect(m_channel2, &QComboBox::activated, this, [this](int) { cbChannel2Change(); });
    connect(m_channel, &QComboBox::activated, this, [this](int) { cbChannelChange(); });
    connect(m_tempCh, &QComboBox::activated, this, [this](int) { cbTempChChange(); });
    connect(m_tspType, &QComboBox::activated, this, [this](int index) {
        m_worker->controller().setSensorType(index);
    });
    connect(m_time, &TFloatEdit::valueChanged, this, [this](double v) {
        if (!m_updating) m_worker->controller().setMeasurementTime(v);
    });
    connect(m_pulses, &TIntEdit::valueChanged, this, [this](int v) {
        if (!m_updating) m_worker->controller().setPulseCount(v);
    });
    connect(m_start, &QPushButton::clicked, this, [this] { bnStartClick(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { bnStopClick(); });
    return settings;
}

// "Данные": the results, the temperature, the reference quantity and the
// button that adds them to the package.
QGroupBox* TSpprDlg::BuildDataGroup() {
    auto* data = new QGroupBox(QStringLiteral("Данные"), this);
    data->setObjectName(QStringLiteral("gbData"));
    m_tq = panel(this, "pntq", QStringLiteral("Tэт, сек"));
    m_n1 = panel(this, "pnN1", QStringLiteral("N1, имп"));
    m_t1 = panel(this, "pnt1", QStringLiteral("T1, сек"));
    m_n2 = panel(this, "pnN2", QStringLiteral("N2, имп"));
    m_temp = new TFloatEdit(this);
    m_temp->setObjectName(QStringLiteral("pnTemp"));
    m_temp->SetDigits(3);
    m_temp->SetMin(0.0);
    m_temp->SetMax(150.0);
    m_volMass = new TFloatEdit(this);
    m_volMass->setObjectName(QStringLiteral("edVolMass"));
    m_volMass->SetDigits(3);
    m_volMass->SetMin(0.0);
    m_volMass->SetMax(10000000.0);
    m_volMass->hide();  // shown, and named, with a measurement target
    m_volMassLabel = new QLabel(this);
    m_volMassLabel->setObjectName(QStringLiteral("lbVolMass"));
    m_volMassLabel->setBuddy(m_volMass);
    m_toPackage = new QPushButton(QStringLiteral("Добавить в пакет"), this);
    m_toPackage->setObjectName(QStringLiteral("bnToPackage"));
    NameControl(m_toPackage, QStringLiteral("Добавить в пакет"));
    m_toPackage->setAutoDefault(false);

    auto* dataForm = new QFormLayout;
    dataForm->addRow(caption(this, QStringLiteral("Tэт, сек:"), m_tq), m_tq);
    dataForm->addRow(caption(this, QStringLiteral("N1, имп:"), m_n1), m_n1);
    dataForm->addRow(caption(this, QStringLiteral("T1, сек:"), m_t1), m_t1);
    dataForm->addRow(caption(this, QStringLiteral("N2, имп:"), m_n2), m_n2);
    dataForm->addRow(caption(this, QStringLiteral("t, °C:"), m_temp), m_temp);
    dataForm->addRow(m_volMassLabel, m_volMass);
    auto* dataLayout = new QVBoxLayout(data);
    dataLayout->addLayout(dataForm);
    dataLayout->addWidget(m_toPackage);

    connect(m_temp, &TFloatEdit::valueChanged, this, [this](double v) {
        if (!m_updating) m_worker->controller().setTemperature(v);
    });
    connect(m_volMass, &TFloatEdit::valueChanged, this, [this](double v) {
        if (!m_updating) m_worker->controller().setVolMass(v);
    });
    connect(m_toPackage, &QPushButton::clicked, this, [this] { bnToPackageClick(); });
    return data;
}

TSpprDlg::~TSpprDlg() {
    m_timer->stop();
    m_storedPort.Save(m_worker->controller().port());
    m_worker.reset();
}

const SpprController& TSpprDlg::controller() const { return m_worker->controller(); }
bool TSpprDlg::busy() const { return m_worker->controller().busy(); }

void TSpprDlg::SetPackage(const std::shared_ptr<PackageBase>& package) {
    m_package = package;
    std::optional<SpprController::Reference> reference;
    if (package) {
        switch (package->method) {
        case Method::Volume: reference = SpprController::Reference::Volume; break;
        case Method::Mass: reference = SpprController::Reference::Mass; break;
        case Method::Reference: reference = SpprController::Reference::Flow; break;
        }
    }
    m_worker->controller().setTarget(reference);
    UpdateControls();
}

// ---- the user's actions ----------------------------------------------------

void TSpprDlg::Request(const std::function<void(SpprController&)>& post) {
    try {
        post(m_worker->controller());
    } catch (const std::exception& error) {
        UpdateControls();
        showError(this, QString::fromUtf8(error.what()));
        return;
    }
    UpdateControls();
}

void TSpprDlg::cbPortChange() {
    const int position = m_port->GetItemIndex();
    Request([position](SpprController& c) { c.cbPortChange(position); });
}

void TSpprDlg::cbModeChange() {
    m_worker->controller().cbModeChange(m_mode->currentIndex());
    UpdateControls();
}

void TSpprDlg::cbChannel1Change() {
    const std::vector<int> inputs = m_worker->controller().channel1Inputs();
    const int index = m_channel1->currentIndex();
    if (index >= 0 && index < static_cast<int>(inputs.size())) m_worker->controller().cbChannel1Change(inputs[index]);
    UpdateControls();
}

void TSpprDlg::cbChannel2Change() {
    const std::vector<int> inputs = m_worker->controller().channel2Inputs();
    const int index = m_channel2->currentIndex();
    if (index >= 0 && index < static_cast<int>(inputs.size())) m_worker->controller().cbChannel2Change(inputs[index]);
    UpdateControls();
}

void TSpprDlg::cbChannelChange() {
    m_worker->controller().cbChannelChange(m_channel->currentIndex());
    UpdateControls();
}

void TSpprDlg::cbTempChChange() {
    m_worker->controller().cbTempChChange(m_tempCh->currentIndex());
    UpdateControls();
}

void TSpprDlg::bnStartClick() {
    Request([](SpprController& c) { c.bnStartClick(); });
}

void TSpprDlg::bnStopClick() {
    Request([](SpprController& c) { c.bnStopClick(); });
}

void TSpprDlg::TimerTimer() {
    try {
        m_worker->controller().TimerTimer();
    } catch (const std::exception&) {
        // A full ring refuses the poll; the next tick tries again.
    }
}

void TSpprDlg::bnToPackageClick() {
    const std::shared_ptr<PackageBase> package = m_package.lock();
    if (!package) return;
    SpprController& c = m_worker->controller();
    // The entry takes the temperature as the field shows it.
    c.setTemperature(m_temp->Value());
    try {
        addMeasuredEntry(*package, {.timeRef = c.tq(),
                                    .pulses1 = c.n1(),
                                    .time1 = c.t1(),
                                    .pulses2 = c.n2(),
                                    .t = c.temperature(),
                                    .reference = c.volMass()});
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
    emit entryAdded(package.get());
}

// ---- results and painting --------------------------------------------------

void TSpprDlg::PortNotified(bool back) {
    m_worker->controller().PortNotified(back);
    UpdateControls();
}

void TSpprDlg::HandleResult(bool ok) {
    const PageResult result = m_worker->controller().HandleResult(ok);
    // The first poll of a measurement follows its start by a whole second.
    if (result.restartTimer) m_timer->start();
    UpdateControls();
    emit resultHandled(result.code, result.detail, result.ok);
}

void TSpprDlg::FillInputLists() {
    const SpprController& c = m_worker->controller();
    const std::vector<int> inputs1 = c.channel1Inputs();
    const std::vector<int> inputs2 = c.channel2Inputs();
    setItems(m_channel1, inputItems(inputs1));
    setItems(m_channel2, inputItems(inputs2));
    const auto at = [](const std::vector<int>& inputs, int input) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i] == input) return static_cast<int>(i);
        return -1;
    };
    m_channel1->setCurrentIndex(at(inputs1, c.input1()));
    m_channel2->setCurrentIndex(at(inputs2, c.input2()));
}

void TSpprDlg::UpdateControls() {
    const SpprController& c = m_worker->controller();
    const bool updating = m_updating;
    m_updating = true;

    m_u->setText(fromStd(c.voltageText()));
    QPalette palette = m_u->palette();
    palette.setColor(QPalette::WindowText,
                     c.voltageLow() ? QColor(Qt::red) : this->palette().color(QPalette::WindowText));
    m_u->setPalette(palette);
    // The red says the supply is low; a screen reader says it in words.
    const QString voltageState = c.voltageLow() ? QStringLiteral("напряжение низкое") : QString();
    if (m_u->accessibleDescription() != voltageState) m_u->setAccessibleDescription(voltageState);

    FillInputLists();
    m_mode->setCurrentIndex(c.mode());
    m_criterion->setText(fromStd(c.criterionLabel()));
    switch (c.criterion()) {
    case SpprController::Criterion::Time:
        m_criterionField->setCurrentWidget(m_time);
        LabelControl(m_criterion, m_time);
        break;
    case SpprController::Criterion::Pulses:
        m_criterionField->setCurrentWidget(m_pulses);
        LabelControl(m_criterion, m_pulses);
        break;
    default:
        m_criterionField->setCurrentWidget(m_blank);
        m_criterion->setBuddy(nullptr);
        break;
    }
    m_channel->setEnabled(c.channelEnabled());
    m_channel->setCurrentIndex(c.channel());
    m_tempCh->setCurrentIndex(c.tempChannel());
    m_tspType->setCurrentIndex(c.sensorType());
    m_tspType->setEnabled(c.sensorTypeEnabled());
    m_temp->SetReadOnly(!c.temperatureEditable());
    if (m_temp->Value() != c.temperature() && !c.temperatureEditable()) m_temp->SetValue(c.temperature());

    m_tq->setText(fromStd(c.tqText()));
    m_n1->setText(fromStd(c.n1Text()));
    m_t1->setText(fromStd(c.t1Text()));
    m_n2->setText(fromStd(c.n2Text()));
    m_volMassLabel->setText(fromStd(c.volMassLabel()));
    m_volMassLabel->setVisible(c.hasTarget());
    m_volMass->setVisible(c.hasTarget());
    m_volMass->setAccessibleName(c.hasTarget() ? fromStd(c.volMassLabel()).chopped(1) : QString());

    m_updating = updating;
    m_busy.Set(c.busy(), [this] { ApplyEnabled(); });
}

void TSpprDlg::ApplyEnabled() {
    const SpprController& c = m_worker->controller();
    m_port->SetItemIndex(c.port());
    m_port->SetEnabled(c.portEnabled());
    m_start->setEnabled(c.startEnabled());
    m_stop->setEnabled(c.stopEnabled());
    m_toPackage->setEnabled(c.toPackageEnabled());
}
