#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstddef>
#include <deque>
#include <vector>

#include "link/FrameLog.h"

// The frames of one port as the exchange log window lists them: one row per
// frame, newest last, at most as many as the port's log holds. The model
// keeps every frame it was given (so that "только ошибки" can be switched
// either way) and shows all of them or the faults alone.
class FrameTableModel final : public QAbstractTableModel {
public:
    enum Column { kTime, kDirection, kBytes, kRequest, kCheck, kOutcome, kColumnCount };

    explicit FrameTableModel(std::size_t capacity = FrameLog::kCapacity, QObject* parent = nullptr);

    // Adds frames in the order recorded; the oldest go once more than the
    // capacity are held.
    void Append(std::vector<framelog::Frame> frames);
    void Clear();
    void SetFaultsOnly(bool on);
    bool FaultsOnly() const { return m_faultsOnly; }

    // The frame of a shown row.
    const framelog::Frame& FrameAt(int row) const { return *m_shown[static_cast<std::size_t>(row)]; }
    // A shown row as one line of text, its fields separated by tabs.
    QString LineText(int row) const;
    // A shown row's fields.
    QStringList Fields(int row) const;
    static QStringList Captions();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The texts a row shows for a frame's check and the outcome of its
    // exchange (with the reply time where there is one).
    static QString CheckText(framelog::Check check);
    static QString OutcomeText(const framelog::Frame& frame);

private:
    bool Shows(const framelog::Frame& frame) const { return !m_faultsOnly || frame.Fault(); }
    QString Field(const framelog::Frame& frame, int column) const;

    std::size_t m_capacity;
    bool m_faultsOnly = false;
    // Every frame held; deque so that frames keep their place while the
    // oldest are dropped and m_shown can point into it.
    std::deque<framelog::Frame> m_frames;
    std::deque<const framelog::Frame*> m_shown;
};
