#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

#include "document/Limits.h"

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TFloatEdit;

// "Пределы погрешности": the limits of permissible error of the document's
// model, in the form the engineer chooses: none, an accuracy class with the
// permanent flow qp, or a table of flow zones (a lower bound and a limit
// ± δ per zone). OK takes the limits only when they can be used: anything
// the limits' own check refuses (qp not above 0, a bound below 0 or not above
// the one before it, a limit not above 0) is reported with its reason and the
// dialog stays open with the limits given to it untouched.
//
// Controls carry the object names lbModel, rbNoLimits, rbClass, rbZones,
// cbClass, edQp, edZoneFrom1 …, edZoneLimit1 …, bnAddZone, bnRemoveZone,
// bnOK, bnCancel.
class LimitsDialog : public QDialog {
    Q_OBJECT
public:
    // A table of more zones than this is no table an engineer types.
    static constexpr int kMaxZones = 10;

    // Receives a refusal's text; the message box unless replaced (tests).
    using MessageHandler = std::function<void(QWidget* owner, const QString& text)>;

    explicit LimitsDialog(QWidget* parent = nullptr);

    // Shows the limits of the model named `model` modally; true, with the
    // new limits written into `limits`, when they were accepted.
    bool edit(const QString& model, Limits& limits);

    // Fills the controls from the limits (a table of no zones shows one
    // empty row).
    void load(const Limits& limits);
    // The limits the controls show, unchecked.
    Limits current() const;
    // The limits taken by the last OK.
    const Limits& accepted() const { return m_accepted; }

    void setModel(const QString& model);
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }

    int zoneCount() const { return static_cast<int>(m_zones.size()); }
    TFloatEdit* zoneFrom(int index) const { return m_zones[static_cast<std::size_t>(index)].from; }
    TFloatEdit* zoneLimit(int index) const { return m_zones[static_cast<std::size_t>(index)].limit; }
    // "Добавить зону" (a bound above the last one's) and "Удалить зону" (the last).
    void addZone();
    void removeZone();

    void accept() override;

private:
    struct ZoneRow {
        QLabel* number = nullptr;
        TFloatEdit* from = nullptr;
        TFloatEdit* limit = nullptr;
    };

    QGroupBox* buildFormBox();
    QGroupBox* buildClassBox();
    QGroupBox* buildZonesBox();
    void setZoneCount(int count);
    void updateEnabled();

    QLabel* m_model = nullptr;
    QRadioButton* m_none = nullptr;
    QRadioButton* m_class = nullptr;
    QRadioButton* m_zonesForm = nullptr;
    QGroupBox* m_classBox = nullptr;
    QComboBox* m_classNumber = nullptr;
    TFloatEdit* m_qp = nullptr;
    QGroupBox* m_zonesBox = nullptr;
    QGridLayout* m_zoneGrid = nullptr;
    QLabel* m_fromCaption = nullptr;
    QLabel* m_limitCaption = nullptr;
    QPushButton* m_addZone = nullptr;
    QPushButton* m_removeZone = nullptr;
    std::vector<ZoneRow> m_zones;
    Limits m_accepted;
    MessageHandler m_message;
};
