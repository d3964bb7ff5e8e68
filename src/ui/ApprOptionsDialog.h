#pragma once

#include <QDialog>

struct ApprOptions;
class QPushButton;
class QRadioButton;
class TFloatEdit;

// "Параметры аппроксимации": function, mode, source data and the three
// limits of the document's approximation options. OK writes the dialog into
// the options, Отмена leaves them; "По умолчанию" resets the options at once
// (they stay reset even when the dialog is then cancelled) and shows them.
// The mode buttons are enabled only while the piecewise-linear function is
// chosen. Controls carry the object names rbPiecewiseLinear, rbLinear,
// rbProportional, rbAuto, rbManual, rbSections, rbEntries, edSectionScatter,
// edMaxAutoErr, edRefTemp, bnOK, bnCancel, bnDefault.
class ApprOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApprOptionsDialog(QWidget* parent = nullptr);

    // Shows the options modally; true when they were accepted (and written).
    bool edit(ApprOptions& options);

    // The options the dialog works on (not owned; null detaches) and fills
    // the controls from them, as on show.
    void attach(ApprOptions* options);
    // Fills the controls from the options.
    void load(const ApprOptions& options);
    // Writes the controls into the options (OK).
    void store(ApprOptions& options) const;
    // "По умолчанию".
    void resetToDefaults();

    void accept() override;

private:
    void updateModeButtons();

    ApprOptions* m_options = nullptr;
    QRadioButton* m_piecewiseLinear = nullptr;
    QRadioButton* m_linear = nullptr;
    QRadioButton* m_proportional = nullptr;
    QRadioButton* m_auto = nullptr;
    QRadioButton* m_manual = nullptr;
    QRadioButton* m_sections = nullptr;
    QRadioButton* m_entries = nullptr;
    TFloatEdit* m_sectionScatter = nullptr;
    TFloatEdit* m_maxAutoErr = nullptr;
    TFloatEdit* m_refTemp = nullptr;
};
