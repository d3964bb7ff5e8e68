#pragma once

#include <QDialog>

#include <optional>

#include "document/Entries.h"

class QRadioButton;

// What the new-package dialog was closed with.
struct NewPackageChoice {
    PackageType type = PackageType::Calibration;
    Method method = Method::Volume;
};

// "Создать пакет": the package type (Градуировочный / Поверочный) and the
// method (Объёмный / Массовый / Эталонный). Created once and reused, so it
// shows the choice the user left in it.
class NewPackageDialog : public QDialog {
    Q_OBJECT
public:
    explicit NewPackageDialog(QWidget* parent = nullptr);

    // Shows the dialog modally; the choice when it ends with OK.
    std::optional<NewPackageChoice> choose();

    // The buttons as a choice: method 0 for "Объёмный", 1 for "Массовый", 2
    // otherwise; type verification when "Поверочный" is checked.
    NewPackageChoice choice() const;
    void setChoice(const NewPackageChoice& choice);

private:
    QRadioButton* m_calibration = nullptr;
    QRadioButton* m_verification = nullptr;
    QRadioButton* m_volume = nullptr;
    QRadioButton* m_mass = nullptr;
    QRadioButton* m_reference = nullptr;
};
