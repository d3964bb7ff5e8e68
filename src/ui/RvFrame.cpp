#include "RvFrame.h"

#include "ChartWindows.h"
#include "ExchangeLogWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "components/Accessibility.h"
#include "components/IntEdit.h"
#include "devices/rv/RVx2.h"

using rv::CalibrGrid;
using rv::RvPageController;
using Command = RvPageController::Command;
using Lamp = RvPageController::Lamp;

namespace {

constexpr const char* kPortValue = "RvComPort";

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

QLabel* buddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    LabelControl(l, buddy);
    return l;
}

QLineEdit* readOnly(const char* name, const QString& accessible, QWidget* parent) {
    auto* e = named(new QLineEdit(parent), name, accessible);
    e->setReadOnly(true);
    return e;
}

void setText(QLineEdit* edit, const std::string& text) {
    const QString t = fromStd(text);
    if (edit->text() != t) edit->setText(t);
}

void setItems(QComboBox* box, const std::vector<std::string>& items) {
    for (const std::string& item : items) box->addItem(fromStd(item));
}

// Short numbers get short edits: the setup tab's groups keep their width
// for the grid and the reverse mode's long captions.
void fitNumber(QWidget* edit, const QString& sample, int margin) {
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(sample) + margin);
}

QString lampStyle(Lamp lamp) {
    switch (lamp) {
    case Lamp::Olive: return QStringLiteral("background-color: rgb(128,128,0);");
    case Lamp::Red: return QStringLiteral("background-color: rgb(255,0,0);");
    case Lamp::Green: return QStringLiteral("background-color: rgb(0,128,0); color: white;");
    case Lamp::Yellow: return QStringLiteral("background-color: rgb(255,255,0);");
    case Lamp::Off: break;
    }
    return {};
}

// What a lamp's colour says, for a person who does not see it: the panel's
// explanation and whether it is lit (a status panel in any colour, RX and TX
// in yellow: their green is the resting state).
QString lampDescription(const QWidget* w, bool lit) {
    const QString what = w->property("rvExplanation").toString();
    const QString state = lit ? QStringLiteral("горит") : QStringLiteral("не горит");
    return what.isEmpty() ? state : what + QStringLiteral(", ") + state;
}

}  // namespace

// ---------------------------------------------------------------- TPortSetupForm

TPortSetupForm::TPortSetupForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PortSetupForm"));
    setWindowTitle(QStringLiteral("Параметры подключения"));
    m_speed = named(new QComboBox(this), "ComboPortSpeed", QStringLiteral("Скорость обмена"));
    m_speed->setEditable(true);
    for (int speed : RvPageController::speeds()) m_speed->addItem(QString::number(speed));
    m_speed->setCurrentIndex(0);
    m_address = named(new QSpinBox(this), "CSpinAddress", QStringLiteral("Сетевой адрес"));
    m_address->setRange(0, 255);
    m_address->setValue(1);
    auto* ok = named(new QPushButton(QStringLiteral("OK"), this), "BitBtnOK", QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* form = new QFormLayout;
    form->addRow(buddyLabel(QStringLiteral("Скорость:"), m_speed, this), m_speed);
    form->addRow(buddyLabel(QStringLiteral("Сетевой адрес:"), m_address, this), m_address);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
}

int TPortSetupForm::speedIndex() const {
    const QString text = m_speed->currentText().trimmed();
    for (int i = 0; i < m_speed->count(); ++i)
        if (m_speed->itemText(i) == text) return i;
    return -1;
}

// ---------------------------------------------------------------- TRVFrame

TRVFrame::TRVFrame(RVx2& device, Console& console, QWidget* parent)
    : DevicePage(console, kPortValue, parent), m_device(device), m_state(device.page()) {
    setObjectName(QStringLiteral("RVFrame"));
    setProperty("helpKeyword", QStringLiteral("ralvo_main"));
    m_setup = new TPortSetupForm(this);
    m_worker = std::make_unique<Worker>(
        *this, &TRVFrame::HandleResult, &TRVFrame::PortNotified,
        [this](RVx2Thread& thread) { return RvPageController(m_state, thread, m_console); },
        [this](std::intptr_t transmitting) { Activity(transmitting); });

    auto* bar = new QWidget(this);
    BuildTopBar(bar);
    m_pages = named(new QTabWidget(this), "PageControl", QStringLiteral("Страницы прибора"));
    QWidget* mainTab = BuildMainTab();
    QWidget* setupTab = BuildSetupTab();
    QWidget* observationTab = BuildObservationTab();
    mainTab->setProperty("helpKeyword", QStringLiteral("ralvo_main_param"));
    setupTab->setProperty("helpKeyword", QStringLiteral("ralvo_setup"));
    observationTab->setProperty("helpKeyword", QStringLiteral("ralvo_observation"));
    m_pages->addTab(mainTab, QStringLiteral("Основные параметры"));
    m_pages->addTab(setupTab, QStringLiteral("Настройка"));
    m_pages->addTab(observationTab, QStringLiteral("Показания"));
    m_pages->setCurrentIndex(0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(bar);
    layout->addWidget(m_pages, 1);

    RvPageController& c = m_worker->controller();
    c.setChangedCallback([this] {
        if (!m_updating) UpdateFromState();
    });
    m_state.setChangedCallback([this] {
        if (!m_updating) UpdateFromState();
    });

    // The connection dialog's fields go to the controller as they change:
    // every request takes the address at the moment it is sent.
    connect(m_setup->ComboPortSpeed(), &QComboBox::currentTextChanged, this,
            [this](const QString&) { m_worker->controller().setSpeedIndex(m_setup->speedIndex()); });
    connect(m_setup->CSpinAddress(), &QSpinBox::valueChanged, this,
            [this](int v) { m_worker->controller().setAddress(v); });

    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_worker->controller().SystemTimerTimer();
        ShowLamps();
    });
    UpdateFromState();
}

TRVFrame::~TRVFrame() {
    m_timer.stop();
    m_state.setChangedCallback(nullptr);
    m_worker->controller().setChangedCallback(nullptr);
    // Requests already queued finish (their notifications are dropped with
    // the page); the worker's port closes with it.
    m_worker.reset();
}

RvPageController* TRVFrame::controller() const { return &m_worker->controller(); }

void TRVFrame::Start() {
    m_worker->Start();
    m_timer.start();
    // The list has no "-------" item: the first item is the first port.
    m_portBox->setCurrentIndex(m_storedPort.Load(comprt::ComPort::PortList().Names(), 0));
    m_worker->controller().setPortIndex(m_portBox->currentIndex());
}

template <class Action>
void TRVFrame::Run(Action&& action) {
    try {
        action(m_worker->controller());
    } catch (const std::exception& error) {
        ShowError(error.what());
    }
    UpdateFromState();
}

// The RV page's list has no "-------": its first item is the first port.
QString TRVFrame::PortName() const { return PortNameAt(m_portBox->currentIndex() + 1); }

void TRVFrame::BuildTopBar(QWidget* bar) {
    m_portBox = named(new QComboBox(bar), "PortSelectBox", QStringLiteral("COM-порт"));
    AddPortItems(*m_portBox);
    m_portBox->setMinimumContentsLength(12);
    m_portBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_openButton = named(new QPushButton(QStringLiteral("Открыть"), bar), "OpenPortButton",
                         QStringLiteral("Открыть или закрыть порт"));
    m_portParams = named(new QPushButton(QStringLiteral("..."), bar), "PortParams",
                         QStringLiteral("Параметры подключения"));
    m_portParams->setToolTip(QStringLiteral("Параметры подключения"));
    m_portParams->setFixedWidth(m_portParams->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 20);
    // A lamp is named by its caption; what it means and whether it is lit
    // is its description.
    m_rx = named(new QLabel(QStringLiteral("RX"), bar), "RxPanel", QStringLiteral("RX"));
    m_tx = named(new QLabel(QStringLiteral("TX"), bar), "TxPanel", QStringLiteral("TX"));
    m_rx->setProperty("rvExplanation", QStringLiteral("Приём"));
    m_tx->setProperty("rvExplanation", QStringLiteral("Передача"));
    for (QLabel* lamp : {m_rx, m_tx}) {
        lamp->setAccessibleDescription(lampDescription(lamp, false));
        lamp->setAlignment(Qt::AlignCenter);
        lamp->setFrameShape(QFrame::Panel);
        lamp->setFrameShadow(QFrame::Sunken);
        lamp->setFixedWidth(lamp->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 12);
    }
    static const char* const kBitNames[] = {"Bit0", "Bit1", "Bit2", "Bit3", "Bit4", "Bit5"};
    static const char* const kBitCaptions[] = {"Проливка", "Сброс имп.", "g < 0", "g < gпор", "g > gmax", "Неиспр."};
    static const char* const kBitNamesSpoken[] = {"Проливка (нажмите, чтобы начать или остановить)",
                                                   "Сброс импульсов при старте (нажмите, чтобы изменить)",
                                                   "Обратный поток", "Расход ниже порога",
                                                   "Расход выше максимального", "Неисправность"};
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(buddyLabel(QStringLiteral("Порт:"), m_portBox, bar));
    layout->addWidget(m_portBox);
    layout->addWidget(m_openButton);
    layout->addWidget(m_portParams);
    layout->addWidget(MakeExchangeLogButton(bar, [this] { return PortName(); }));
    layout->addWidget(m_rx);
    layout->addWidget(m_tx);
    layout->addSpacing(6);
    for (int i = 0; i < 6; ++i) {
        m_bits[i] = named(new QPushButton(QString::fromUtf8(kBitCaptions[i]), bar), kBitNames[i],
                          QString::fromUtf8(kBitNamesSpoken[i]));
        m_bits[i]->setProperty("rvExplanation", QString::fromUtf8(kBitNamesSpoken[i]));
        m_bits[i]->setAccessibleDescription(lampDescription(m_bits[i], false));
        m_bits[i]->setFocusPolicy(i < 2 ? Qt::StrongFocus : Qt::NoFocus);
        // As wide as its caption: the bar holds the port list and all six panels.
        m_bits[i]->setFixedWidth(m_bits[i]->fontMetrics().horizontalAdvance(m_bits[i]->text()) + 16);
        layout->addWidget(m_bits[i]);
        if (i < 2) connect(m_bits[i], &QPushButton::clicked, this, [this, i] {
            Run([i](RvPageController& c) { c.PanelClick(i); });
        });
    }
    layout->addStretch();

    connect(m_portBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_updating) m_worker->controller().setPortIndex(index);
    });
    connect(m_openButton, &QPushButton::clicked, this, [this] { OpenPortButtonClick(); });
    connect(m_portParams, &QPushButton::clicked, this, [this] { PortParamsClick(); });
}

QWidget* TRVFrame::BuildMainTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("MainSheet"));
    // "Системные параметры"
    auto* system = named(new QGroupBox(QStringLiteral("Системные параметры"), tab), "SystemGroup",
                         QStringLiteral("Системные параметры"));
    m_serial = named(new QLineEdit(system), "Serial", QStringLiteral("Заводской номер"));
    m_du = named(new QComboBox(system), "DuCombo", QStringLiteral("Ду, мм"));
    setItems(m_du, m_state.diameter().items());
    m_du->setMaxVisibleItems(m_du->count());
    m_version = readOnly("Version", QStringLiteral("Версия ПО"), system);
    m_crc = readOnly("CrcPO", QStringLiteral("Контрольная сумма ПО"), system);
    auto* readParam = CommandButton(QStringLiteral("Считать"), "ReadParam", QStringLiteral("Считать системные параметры"),
                                    Command::ReadParam, system);
    auto* systemForm = new QFormLayout(system);
    systemForm->addRow(buddyLabel(QStringLiteral("Заводской №:"), m_serial, system), m_serial);
    systemForm->addRow(buddyLabel(QStringLiteral("Ду, мм:"), m_du, system), m_du);
    systemForm->addRow(buddyLabel(QStringLiteral("Версия ПО:"), m_version, system), m_version);
    systemForm->addRow(buddyLabel(QStringLiteral("CRC ПО:"), m_crc, system), m_crc);
    systemForm->addRow(readParam);

    // "Проливка"
    auto* run = named(new QGroupBox(QStringLiteral("Проливка"), tab), "RunGroup", QStringLiteral("Проливка"));
    m_integrator = readOnly("Integrator", QStringLiteral("Суммарный код"), run);
    m_nMeasure = readOnly("NMeasure", QStringLiteral("Число измерений"), run);
    m_middleCode = readOnly("MiddleCode", QStringLiteral("Средний код"), run);
    m_volume = readOnly("Volume", QStringLiteral("Объём по импульсам, л"), run);
    m_impulseVolume = readOnly("ImpulseVolume", QStringLiteral("Счётчик импульсов"), run);
    m_middleNoise = readOnly("MiddleNoise", QStringLiteral("Средний шум"), run);
    m_noiseSignal = readOnly("NoiseSignal", QStringLiteral("Шум/сигнал"), run);
    auto* runForm = new QFormLayout(run);
    runForm->addRow(buddyLabel(QStringLiteral("Сумма кодов:"), m_integrator, run), m_integrator);
    runForm->addRow(buddyLabel(QStringLiteral("Измерений:"), m_nMeasure, run), m_nMeasure);
    runForm->addRow(buddyLabel(QStringLiteral("Средний код:"), m_middleCode, run), m_middleCode);
    runForm->addRow(buddyLabel(QStringLiteral("Объём, л:"), m_volume, run), m_volume);
    runForm->addRow(buddyLabel(QStringLiteral("Импульсов:"), m_impulseVolume, run), m_impulseVolume);
    runForm->addRow(buddyLabel(QStringLiteral("Средний шум:"), m_middleNoise, run), m_middleNoise);
    runForm->addRow(buddyLabel(QStringLiteral("Шум/сигнал:"), m_noiseSignal, run), m_noiseSignal);

    // "Дополнительно"
    auto* extra = named(new QGroupBox(QStringLiteral("Дополнительно"), tab), "AdvancedGroup",
                        QStringLiteral("Дополнительно"));
    auto* advanced = CommandButton(QStringLiteral("Дополнительно"), "Advanced_Info",
                                   QStringLiteral("Время непрерывной работы"), Command::Advanced_Info, extra);
    m_netAddress = named(new TIntEdit(extra), "NetAddress", QStringLiteral("Сетевой адрес прибора"));
    TakeLimits(m_netAddress, m_worker->controller().netAddress());
    m_flowIntegrator = named(new TIntEdit(extra), "FlowIntegrator", QStringLiteral("Интегратор расхода"));
    TakeLimits(m_flowIntegrator, m_worker->controller().flowIntegrator());
    auto* getAddr = CommandButton(QStringLiteral("Считать"), "GetNetAddr", QStringLiteral("Считать — Адрес"),
                                  Command::GetNetAddr, extra);
    auto* setAddr = CommandButton(QStringLiteral("Записать"), "SetNetAddr", QStringLiteral("Записать — Адрес"),
                                  Command::SetNetAddr, extra);
    auto* getInt = CommandButton(QStringLiteral("Считать"), "GetIntegrator",
                                 QStringLiteral("Считать — Интегратор"), Command::GetIntegrator, extra);
    auto* setInt = CommandButton(QStringLiteral("Записать"), "SetIntegrator",
                                 QStringLiteral("Записать — Интегратор"), Command::SetIntegrator, extra);
    // Two pairs of one caption in one group: the name says which value each reads or writes.
    getAddr->setToolTip(QStringLiteral("Считать сетевой адрес"));
    setAddr->setToolTip(QStringLiteral("Записать сетевой адрес"));
    getInt->setToolTip(QStringLiteral("Считать интегратор расхода"));
    setInt->setToolTip(QStringLiteral("Записать интегратор расхода"));
    auto* extraGrid = new QGridLayout(extra);
    extraGrid->addWidget(advanced, 0, 0, 1, 4);
    extraGrid->addWidget(buddyLabel(QStringLiteral("Адрес:"), m_netAddress, extra), 1, 0);
    extraGrid->addWidget(m_netAddress, 1, 1);
    extraGrid->addWidget(getAddr, 1, 2);
    extraGrid->addWidget(setAddr, 1, 3);
    extraGrid->addWidget(buddyLabel(QStringLiteral("Интегратор:"), m_flowIntegrator, extra), 2, 0);
    extraGrid->addWidget(m_flowIntegrator, 2, 1);
    extraGrid->addWidget(getInt, 2, 2);
    extraGrid->addWidget(setInt, 2, 3);

    // "Текущие значения"
    auto* now = named(new QGroupBox(QStringLiteral("Текущие значения"), tab), "CurrentGroup",
                      QStringLiteral("Текущие значения"));
    m_expenditure = readOnly("Expenditure", QStringLiteral("Расход, м3/ч"), now);
    m_volumeDir = readOnly("VolumeDir", QStringLiteral("Объём V+, м3"), now);
    m_volumeRev = readOnly("VolumeRev", QStringLiteral("Объём V-, м3"), now);
    m_workTime = readOnly("WorkTime", QStringLiteral("Время работы"), now);
    auto* clear = CommandButton(QStringLiteral("Обнулить текущие значения"), "ClearMeasure",
                                QStringLiteral("Обнулить текущие значения"), Command::ClearMeasure, now);
    for (QLineEdit* e : {m_expenditure, m_volumeDir, m_volumeRev, m_workTime, m_integrator, m_nMeasure, m_middleCode,
                         m_volume, m_impulseVolume, m_middleNoise, m_noiseSignal})
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00000000,0000")) + 12);
    auto* nowForm = new QFormLayout(now);
    nowForm->addRow(buddyLabel(QStringLiteral("Расход, м3/ч:"), m_expenditure, now), m_expenditure);
    nowForm->addRow(buddyLabel(QStringLiteral("V+, м3:"), m_volumeDir, now), m_volumeDir);
    nowForm->addRow(buddyLabel(QStringLiteral("V-, м3:"), m_volumeRev, now), m_volumeRev);
    nowForm->addRow(buddyLabel(QStringLiteral("Время работы:"), m_workTime, now), m_workTime);
    nowForm->addRow(clear);

    auto* grid = new QGridLayout(tab);
    grid->addWidget(system, 0, 0);
    grid->addWidget(run, 0, 1, 2, 1);
    grid->addWidget(extra, 1, 0);
    grid->addWidget(now, 0, 2, 2, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(3, 1);

    connect(m_serial, &QLineEdit::textEdited, this,
            [this](const QString& text) { FromControl([&] { m_state.setSerial(text.toStdString()); }); });
    connect(m_du, &QComboBox::activated, this, [this](int index) { m_state.selectDiameter(index); });
    connect(m_netAddress, &TIntEdit::valueChanged, this, [this](int v) {
        if (!m_updating) m_worker->controller().netAddress().setValue(v);
    });
    connect(m_flowIntegrator, &TIntEdit::valueChanged, this, [this](int v) {
        if (!m_updating) m_worker->controller().flowIntegrator().setValue(v);
    });
    return tab;
}

QTableWidget* TRVFrame::BuildGrid(CalibrGrid grid, const char* name, const QString& accessible) {
    auto* table = named(new QTableWidget(rv::RvPageState::kGridRows - 1, rv::RvPageState::kGridCols - 1),
                        name, accessible);
    QStringList headers;
    for (int c = 1; c < rv::RvPageState::kGridCols; ++c) headers << fromStd(m_state.cell(grid, 0, c));
    table->setHorizontalHeaderLabels(headers);
    QStringList rows;
    for (int r = 1; r < rv::RvPageState::kGridRows; ++r) rows << fromStd(m_state.cell(grid, r, 0));
    table->setVerticalHeaderLabels(rows);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c) table->setItem(r, c, new QTableWidgetItem);
    // The last segment has no code bound.
    table->item(table->rowCount() - 1, 0)->setFlags(Qt::ItemIsEnabled);
    int height = table->horizontalHeader()->sizeHint().height() + 4;
    for (int r = 0; r < table->rowCount(); ++r) height += table->verticalHeader()->defaultSectionSize();
    table->setFixedHeight(height);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(table, &QTableWidget::itemChanged, this, [this, table, grid](QTableWidgetItem* item) {
        FromControl([&] {
            m_state.setCell(grid, table->row(item) + 1, table->column(item) + 1, item->text().toStdString());
        });
    });
    return table;
}

QPushButton* TRVFrame::CommandButton(const QString& caption, const char* name, const QString& spoken,
                                     Command command, QWidget* parent) {
    return ActionButton(caption, name, spoken, parent,
                        [command](RvPageController& c) { c.SimpleCommand(command); });
}

QPushButton* TRVFrame::ActionButton(const QString& caption, const char* name, const QString& spoken,
                                    QWidget* parent, std::function<void(RvPageController&)> action) {
    auto* b = named(new QPushButton(caption, parent), name, spoken);
    connect(b, &QPushButton::clicked, this, [this, action = std::move(action)] { Run(action); });
    return b;
}

QWidget* TRVFrame::BuildSetupTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("SetupSheet"));
    auto* grid = new QGridLayout(tab);
    grid->addWidget(BuildOutputsGroup(tab), 0, 0);
    grid->addWidget(BuildStartStopGroup(tab), 1, 0);
    grid->addWidget(BuildCalibrGroup(tab), 0, 1, 2, 1);
    grid->addWidget(BuildEmptyPipeGroup(tab), 0, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);
    return tab;
}

// "Параметры внешних выходов"
QGroupBox* TRVFrame::BuildOutputsGroup(QWidget* tab) {
    auto* outputs = named(new QGroupBox(QStringLiteral("Параметры внешних выходов"), tab), "OutputsGroup",
                          QStringLiteral("Параметры внешних выходов"));
    m_weight = named(new QComboBox(outputs), "ImpulseWeight", QStringLiteral("Цена импульса, м3"));
    m_weight->setEditable(true);
    setItems(m_weight, rv::RvPageState::impulseWeightItems());
    m_weight->setMaxVisibleItems(m_weight->count());
    m_meandr = named(new QCheckBox(QStringLiteral("Меандр"), outputs), "Meandr", QStringLiteral("Меандр"));
    m_impulseLen = named(new TIntEdit(outputs), "ImpulseLen", QStringLiteral("Длительность импульса, шагов по 0,8 мс"));
    TakeLimits(m_impulseLen, m_state.impulseLen());
    fitNumber(m_impulseLen, QStringLiteral("0000"), 16);
    m_impulseLenLabel = named(new QLabel(outputs), "ImpulseLenLabel", QStringLiteral("Длительность импульса, мс"));
    m_impulseLenLabel->setMinimumWidth(m_impulseLenLabel->fontMetrics().horizontalAdvance(QStringLiteral("204 мс")));
    m_card = named(new QComboBox(outputs), "PluginCard", QStringLiteral("Плата расширения"));
    setItems(m_card, m_state.pluginCard().items());
    m_reverseType = named(new QComboBox(outputs), "ReverseType", QStringLiteral("Реверсивный выход"));
    setItems(m_reverseType, m_state.reverseType().items());
    m_reverseType->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_reverseType->setMinimumContentsLength(14);
    m_noFilter = named(new QCheckBox(QStringLiteral("Оптимизировать для дозатора"), outputs), "NoFilterThereshold",
                       QStringLiteral("Оптимизировать для дозатора"));
    auto* readOut = CommandButton(QStringLiteral("Считать"), "ReadImpulseOut",
                                  QStringLiteral("Считать параметры выходов"), Command::ReadImpulseOut, outputs);
    auto* setOut = ActionButton(QStringLiteral("Записать"), "SetImpulseOut", QStringLiteral("Записать параметры выходов"),
                                outputs, [](RvPageController& c) { c.SetImpulseOutClick(); });
    auto* lenRow = new QHBoxLayout;
    lenRow->addWidget(m_impulseLen);
    lenRow->addWidget(m_impulseLenLabel);
    lenRow->addWidget(m_meandr);
    auto* outButtons = new QHBoxLayout;
    outButtons->addWidget(readOut);
    outButtons->addWidget(setOut);
    auto* outForm = new QFormLayout(outputs);
    outForm->addRow(buddyLabel(QStringLiteral("Цена имп., м3:"), m_weight, outputs), m_weight);
    outForm->addRow(buddyLabel(QStringLiteral("Длит. имп.:"), m_impulseLen, outputs), lenRow);
    outForm->addRow(buddyLabel(QStringLiteral("Плата:"), m_card, outputs), m_card);
    m_reverseTypeCaption = buddyLabel(QStringLiteral("Реверс:"), m_reverseType, outputs);
    outForm->addRow(m_reverseTypeCaption, m_reverseType);
    outForm->addRow(m_noFilter);
    outForm->addRow(outButtons);

    connect(m_weight, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { FromControl([&] { m_state.setImpulseWeightText(text.toStdString()); }); });
    // MeandrClick, shared with NoFilterThereshold.
    connect(m_meandr, &QCheckBox::clicked, this, [this](bool on) { m_state.setMeandr(on); });
    connect(m_noFilter, &QCheckBox::clicked, this, [this](bool on) { m_state.setNoFilterThreshold(on); });
    connect(m_impulseLen, &TIntEdit::valueChanged, this, [this](int v) {
        if (m_updating) return;
        FromControl([&] { m_state.impulseLen().setValue(v); });
        m_impulseLenLabel->setText(fromStd(m_state.impulseLenLabel()));
    });
    connect(m_card, &QComboBox::activated, this, [this](int index) { m_state.selectPluginCard(index); });
    connect(m_reverseType, &QComboBox::activated, this, [this](int index) { m_state.selectReverseType(index); });
    return outputs;
}

// "Коэффициенты"
QGroupBox* TRVFrame::BuildCalibrGroup(QWidget* tab) {
    auto* coeffs = named(new QGroupBox(QStringLiteral("Коэффициенты"), tab), "CalibrGroup",
                         QStringLiteral("Коэффициенты"));
    m_calibrPages = named(new QTabWidget(coeffs), "CalibrPageControl", QStringLiteral("Калибровочные таблицы"));
    m_directGrid = BuildGrid(CalibrGrid::Direct, "CalibrGrid", QStringLiteral("Прямые коэффициенты"));
    m_reverseGrid = BuildGrid(CalibrGrid::Reverse, "ReverseCalibrGrid", QStringLiteral("Реверсивные коэффициенты"));
    m_directGrid->setParent(coeffs);
    m_reverseGrid->setParent(coeffs);
    m_directGrid->setObjectName(QStringLiteral("CalibrGrid"));
    auto* direct = new QWidget;
    direct->setObjectName(QStringLiteral("DirectSheet"));
    auto* directLayout = new QVBoxLayout(direct);
    directLayout->setContentsMargins(0, 0, 0, 0);
    directLayout->addWidget(m_directGrid);
    auto* reverse = new QWidget;
    reverse->setObjectName(QStringLiteral("ReverseSheet"));
    auto* reverseLayout = new QVBoxLayout(reverse);
    reverseLayout->setContentsMargins(0, 0, 0, 0);
    reverseLayout->addWidget(m_reverseGrid);
    m_calibrPages->addTab(direct, QStringLiteral("Прямые"));
    m_calibrPages->addTab(reverse, QStringLiteral("Реверсивные"));
    m_calibrPages->setCurrentIndex(0);
    m_loLimit = named(new QLineEdit(coeffs), "LoLimit", QStringLiteral("gпор, м3/ч"));
    m_hiLimit = named(new QLineEdit(coeffs), "HiLimit", QStringLiteral("gmax, м3/ч"));
    for (QLineEdit* e : {m_loLimit, m_hiLimit})
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0,00000")) + 12);
    auto* readCal = CommandButton(QStringLiteral("Считать"), "ReadCalibr", QStringLiteral("Считать коэффициенты"),
                                  Command::ReadCalibr, coeffs);
    auto* setCal = CommandButton(QStringLiteral("Записать"), "SetCalibr", QStringLiteral("Записать коэффициенты"),
                                 Command::SetCalibr, coeffs);
    auto* limits = new QHBoxLayout;
    limits->addWidget(buddyLabel(QStringLiteral("gпор:"), m_loLimit, coeffs));
    limits->addWidget(m_loLimit);
    limits->addWidget(buddyLabel(QStringLiteral("gmax:"), m_hiLimit, coeffs));
    limits->addWidget(m_hiLimit);
    auto* calButtons = new QHBoxLayout;
    calButtons->addWidget(readCal);
    calButtons->addWidget(setCal);
    auto* coeffLayout = new QVBoxLayout(coeffs);
    coeffLayout->addWidget(m_calibrPages);
    coeffLayout->addLayout(limits);
    coeffLayout->addLayout(calButtons);
    coeffLayout->addStretch();

    connect(m_calibrPages, &QTabWidget::currentChanged, this, [this](int index) {
        m_worker->controller().setActiveSheet(index == 0 ? CalibrGrid::Direct : CalibrGrid::Reverse);
    });
    connect(m_loLimit, &QLineEdit::textEdited, this,
            [this](const QString& text) { FromControl([&] { m_state.setLoLimit(text.toStdString()); }); });
    connect(m_hiLimit, &QLineEdit::textEdited, this,
            [this](const QString& text) { FromControl([&] { m_state.setHiLimit(text.toStdString()); }); });
    return coeffs;
}

// "Старт-стоп"
QGroupBox* TRVFrame::BuildStartStopGroup(QWidget* tab) {
    auto* stst = named(new QGroupBox(QStringLiteral("Старт-стоп"), tab), "StartStopGroup", QStringLiteral("Старт-стоп"));
    static const char* const kModeNames[] = {"RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4"};
    auto* ststLayout = new QGridLayout(stst);
    for (int i = 0; i < 4; ++i) {
        const QString caption = QStringLiteral("Режим %1").arg(i);
        m_modes[i] = named(new QRadioButton(caption, stst), kModeNames[i], QStringLiteral("Режим старт-стоп: ") + caption);
        ststLayout->addWidget(m_modes[i], i / 2, i % 2);
        connect(m_modes[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !m_updating) m_worker->controller().setStartStopMode(i);
        });
    }
    m_noiseCancel = named(new TIntEdit(stst), "NoiseCancelStSt", QStringLiteral("Антидребезг, шагов по 0,8 мс"));
    TakeLimits(m_noiseCancel, m_worker->controller().noiseCancelStSt());
    fitNumber(m_noiseCancel, QStringLiteral("0000"), 16);
    m_noiseLabel = named(new QLabel(stst), "NoiseStStLabel", QStringLiteral("Антидребезг, мс"));
    auto* setStSt = CommandButton(QStringLiteral("Записать"), "SetStSt", QStringLiteral("Записать параметры старт-стоп"),
                                  Command::SetStSt, stst);
    ststLayout->addWidget(buddyLabel(QStringLiteral("Антидребезг:"), m_noiseCancel, stst), 2, 0);
    auto* noiseRow = new QHBoxLayout;
    noiseRow->addWidget(m_noiseCancel);
    noiseRow->addWidget(m_noiseLabel);
    ststLayout->addLayout(noiseRow, 2, 1);
    ststLayout->addWidget(setStSt, 3, 0, 1, 2);

    connect(m_noiseCancel, &TIntEdit::valueChanged, this, [this](int v) {
        if (m_updating) return;
        m_worker->controller().noiseCancelStSt().setValue(v);
        m_noiseLabel->setText(fromStd(m_worker->controller().noiseStStLabel()));
    });
    return stst;
}

// "Тест пустой трубы"
QGroupBox* TRVFrame::BuildEmptyPipeGroup(QWidget* tab) {
    auto* pipe = named(new QGroupBox(QStringLiteral("Тест пустой трубы"), tab), "EmptyPipeGroup",
                       QStringLiteral("Тест пустой трубы"));
    m_disableEmptyPipe = named(new QCheckBox(QStringLiteral("Отключть"), pipe), "DisableEmptyPipe",
                               QStringLiteral("Отключить тест пустой трубы"));
    static const char* const kTepNames[] = {"TepCode",       "TepNoize",        "TepCodeRange",
                                            "TepNoizeRange", "TepMeasureCount", "TepHysteresis"};
    static const char* const kTepSpoken[] = {"Порог кода", "Порог шума", "Разброс кода",
                                             "Разброс шума", "Число измерений", "Гистерезис"};
    for (int i = 0; i < 6; ++i) {
        m_tep[i] = named(new QLineEdit(pipe), kTepNames[i], QString::fromUtf8(kTepSpoken[i]));
        fitNumber(m_tep[i], QStringLiteral("-000000000"), 12);
        if (i >= 2) m_tep[i]->hide();
        connect(m_tep[i], &QLineEdit::textEdited, this, [this, i](const QString& text) {
            rv::RvLiveValues& v = m_worker->controller().live();
            std::string* fields[] = {&v.tepCode, &v.tepNoize, &v.tepCodeRange, &v.tepNoizeRange,
                                     &v.tepMeasureCount, &v.tepHysteresis};
            *fields[i] = text.toStdString();
        });
    }
    auto* readPipe = CommandButton(QStringLiteral("Считать"), "ReadTestEmptyPipe",
                                   QStringLiteral("Считать параметры теста пустой трубы"), Command::ReadTestEmptyPipe,
                                   pipe);
    auto* setPipe = ActionButton(QStringLiteral("Записать"), "SetTestEmptyPipe",
                                 QStringLiteral("Записать параметры теста пустой трубы"), pipe,
                                 [](RvPageController& c) { c.SetTestEmptyPipeClick(); });
    auto* copyPipe = ActionButton(QStringLiteral("Копировать"), "CopyTestEmptyPipe",
                                  QStringLiteral("Копировать средний код и шум"), pipe,
                                  [](RvPageController& c) { c.CopyTestEmptyPipeClick(); });
    auto* pipeLayout = new QGridLayout(pipe);
    pipeLayout->addWidget(m_disableEmptyPipe, 0, 0, 1, 3);
    pipeLayout->addWidget(buddyLabel(QStringLiteral("Код"), m_tep[0], pipe), 1, 0);
    pipeLayout->addWidget(m_tep[0], 1, 1, 1, 2);
    pipeLayout->addWidget(buddyLabel(QStringLiteral("Шум"), m_tep[1], pipe), 2, 0);
    pipeLayout->addWidget(m_tep[1], 2, 1, 1, 2);
    pipeLayout->addWidget(copyPipe, 3, 1, 1, 2);
    pipeLayout->addWidget(readPipe, 4, 0, 1, 2);
    pipeLayout->addWidget(setPipe, 4, 2);

    connect(m_disableEmptyPipe, &QCheckBox::clicked, this,
            [this](bool on) { m_worker->controller().live().disableEmptyPipe = on; });
    return pipe;
}

// The "Показания" tab stays an empty sheet until it is first shown, so that
// the charts plugin is loaded only then.
QWidget* TRVFrame::BuildObservationTab() {
    m_observationSheet = named(new QWidget, "ObservationSheet", QStringLiteral("Показания"));
    (new QVBoxLayout(m_observationSheet))->setContentsMargins(0, 0, 0, 0);
    connect(m_pages, &QTabWidget::currentChanged, this, [this] {
        if (m_pages->currentWidget() != m_observationSheet) return;
        try {
            readingsTab();
        } catch (const std::exception& error) {
            m_console.message(error.what());
        }
    });
    return m_observationSheet;
}

ReadingsPage* TRVFrame::readingsTab() {
    if (m_readingsTab) return m_readingsTab;
    m_readingsTab = Charts().readingsPage(m_worker->controller().readings(), m_console, m_observationSheet);
    m_observationSheet->layout()->addWidget(m_readingsTab);
    m_observation = m_readingsTab->observationBox();
    m_reading = m_readingsTab->readingLabel();
    connect(m_observation, &QCheckBox::toggled, this, [this](bool on) { m_worker->controller().setObservation(on); });
    UpdateFromState();
    return m_readingsTab;
}

void TRVFrame::ShowGrid(QTableWidget* table, CalibrGrid grid) {
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c) {
            QTableWidgetItem* item = table->item(r, c);
            const QString text = fromStd(m_state.cell(grid, r + 1, c + 1));
            if (item->text() != text) item->setText(text);
        }
}

void TRVFrame::ShowLamps() {
    const RvPageController& c = m_worker->controller();
    Lamp lamps[8];
    for (int i = 0; i < 6; ++i) lamps[i] = c.statusLamp(i);
    lamps[6] = c.rxLamp();
    lamps[7] = c.txLamp();
    for (int i = 0; i < 8; ++i) {
        const int shown = static_cast<int>(lamps[i]);
        if (m_shownLamps[i] == shown) continue;
        m_shownLamps[i] = shown;
        QWidget* w = i < 6 ? static_cast<QWidget*>(m_bits[i]) : i == 6 ? static_cast<QWidget*>(m_rx) : m_tx;
        w->setStyleSheet(lampStyle(lamps[i]));
        w->setAccessibleDescription(lampDescription(w, i < 6 ? lamps[i] != Lamp::Off : lamps[i] == Lamp::Yellow));
    }
}

void TRVFrame::UpdateFromState() {
    const bool updating = m_updating;
    m_updating = true;
    RvPageController& c = m_worker->controller();
    const rv::RvLiveValues& v = c.live();

    const bool open = c.portOpen();
    m_openButton->setText(open ? QStringLiteral("Закрыть") : QStringLiteral("Открыть"));
    NameControl(m_openButton, QStringLiteral("Открыть или закрыть порт"));
    m_portBox->setEnabled(!open);
    if (m_portBox->currentIndex() != c.portIndex() && c.portIndex() < m_portBox->count())
        m_portBox->setCurrentIndex(c.portIndex());
    m_portParams->setEnabled(!open);

    setText(m_serial, m_state.serial());
    if (m_du->currentIndex() != m_state.diameter().index()) m_du->setCurrentIndex(m_state.diameter().index());
    setText(m_version, v.version);
    setText(m_crc, v.crcPO);
    setText(m_integrator, v.integrator);
    setText(m_nMeasure, v.nMeasure);
    setText(m_middleCode, v.middleCode);
    setText(m_volume, v.volume);
    setText(m_impulseVolume, v.impulseVolume);
    setText(m_middleNoise, v.middleNoise);
    setText(m_noiseSignal, v.noiseSignal);
    if (m_netAddress->Value() != c.netAddress().value()) m_netAddress->SetValue(c.netAddress().value());
    if (m_flowIntegrator->Value() != c.flowIntegrator().value()) m_flowIntegrator->SetValue(c.flowIntegrator().value());
    setText(m_expenditure, v.expenditure);
    setText(m_volumeDir, v.volumeDir);
    setText(m_volumeRev, v.volumeRev);
    setText(m_workTime, v.workTime);

    const QString weight = fromStd(m_state.impulseWeightText());
    if (m_weight->currentText() != weight) m_weight->setEditText(weight);
    m_meandr->setChecked(m_state.meandr());
    if (m_impulseLen->Value() != m_state.impulseLen().value()) m_impulseLen->SetValue(m_state.impulseLen().value());
    m_impulseLen->setEnabled(m_state.impulseLenEnabled());
    m_impulseLenLabel->setText(fromStd(m_state.impulseLenLabel()));
    if (m_card->currentIndex() != m_state.pluginCard().index()) m_card->setCurrentIndex(m_state.pluginCard().index());
    if (m_reverseType->currentIndex() != m_state.reverseType().index())
        m_reverseType->setCurrentIndex(m_state.reverseType().index());
    m_reverseType->setToolTip(m_reverseType->currentText());  // the list is narrower than its captions
    m_reverseType->setVisible(m_state.reverseTypeVisible());
    m_reverseTypeCaption->setVisible(m_state.reverseTypeVisible());
    m_noFilter->setVisible(m_state.noFilterThresholdVisible());
    m_noFilter->setChecked(m_state.noFilterThreshold());
    m_calibrPages->setTabVisible(1, m_state.reverseSheetVisible());
    ShowGrid(m_directGrid, CalibrGrid::Direct);
    ShowGrid(m_reverseGrid, CalibrGrid::Reverse);
    setText(m_loLimit, m_state.loLimit());
    setText(m_hiLimit, m_state.hiLimit());
    for (int i = 0; i < 4; ++i)
        if (m_modes[i]->isChecked() != (c.startStopMode() == i)) m_modes[i]->setChecked(c.startStopMode() == i);
    if (m_noiseCancel->Value() != c.noiseCancelStSt().value()) m_noiseCancel->SetValue(c.noiseCancelStSt().value());
    m_noiseLabel->setText(fromStd(c.noiseStStLabel()));
    m_disableEmptyPipe->setChecked(v.disableEmptyPipe);
    const std::string* tep[] = {&v.tepCode, &v.tepNoize, &v.tepCodeRange, &v.tepNoizeRange, &v.tepMeasureCount,
                                &v.tepHysteresis};
    for (int i = 0; i < 6; ++i) setText(m_tep[i], *tep[i]);
    if (m_readingsTab) {
        m_reading->setText(v.lastReading ? QStringLiteral("Код: %1 (отсчётов: %2)").arg(*v.lastReading).arg(v.readings)
                                         : QString());
        m_readingsTab->sync();
    }
    ShowLamps();
    m_updating = updating;
}

void TRVFrame::OpenPortButtonClick() {
    RvPageController& c = m_worker->controller();
    if (!c.portOpen()) {
        c.setPortIndex(m_portBox->currentIndex());
        m_storedPort.Save(m_portBox->currentIndex());
    }
    Run([](RvPageController& controller) { controller.OpenPortButtonClick(); });
}

void TRVFrame::PortParamsClick() {
    if (m_worker->controller().portOpen()) return;
    m_setup->exec();
}

void TRVFrame::HandleResult(bool ok) {
    const PageResult result = m_worker->controller().HandleResult(ok);
    UpdateFromState();
    emit resultHandled(result.code, result.detail, result.ok);
}

void TRVFrame::PortNotified(bool back) {
    m_worker->controller().PortNotified(back);
    UpdateFromState();
}

void TRVFrame::Activity(std::intptr_t transmitting) {
    m_worker->controller().Activity(transmitting);
    ShowLamps();
}
