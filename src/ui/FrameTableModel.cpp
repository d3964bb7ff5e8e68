#include "FrameTableModel.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>

#include <algorithm>
#include <iterator>

#include "common/Locale.h"

using framelog::Check;
using framelog::Direction;
using framelog::Frame;
using framelog::Outcome;

FrameTableModel::FrameTableModel(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), m_capacity(std::max<std::size_t>(capacity, 1)) {}

void FrameTableModel::Append(std::vector<Frame> frames) {
    if (frames.empty()) return;
    // Frames beyond the capacity would only be dropped again.
    if (frames.size() > m_capacity)
        frames.erase(frames.begin(), frames.end() - static_cast<std::ptrdiff_t>(m_capacity));

    // The oldest frames that make room, and the shown rows among them.
    const std::size_t total = m_frames.size() + frames.size();
    const std::size_t drop = total > m_capacity ? total - m_capacity : 0;
    if (drop > 0) {
        const Frame* lastDropped = &m_frames[drop - 1];
        std::size_t rows = 0;
        while (rows < m_shown.size() && m_shown[rows]->seq <= lastDropped->seq) ++rows;
        if (rows > 0) {
            beginRemoveRows({}, 0, static_cast<int>(rows) - 1);
            m_shown.erase(m_shown.begin(), m_shown.begin() + static_cast<std::ptrdiff_t>(rows));
            endRemoveRows();
        }
        m_frames.erase(m_frames.begin(), m_frames.begin() + static_cast<std::ptrdiff_t>(drop));
    }

    const std::size_t first = m_frames.size();
    std::move(frames.begin(), frames.end(), std::back_inserter(m_frames));
    std::vector<const Frame*> added;
    for (std::size_t i = first; i < m_frames.size(); ++i)
        if (Shows(m_frames[i])) added.push_back(&m_frames[i]);
    if (added.empty()) return;
    const int row = static_cast<int>(m_shown.size());
    beginInsertRows({}, row, row + static_cast<int>(added.size()) - 1);
    m_shown.insert(m_shown.end(), added.begin(), added.end());
    endInsertRows();
}

void FrameTableModel::Clear() {
    beginResetModel();
    m_shown.clear();
    m_frames.clear();
    endResetModel();
}

void FrameTableModel::SetFaultsOnly(bool on) {
    if (on == m_faultsOnly) return;
    beginResetModel();
    m_faultsOnly = on;
    m_shown.clear();
    for (const Frame& frame : m_frames)
        if (Shows(frame)) m_shown.push_back(&frame);
    endResetModel();
}

QStringList FrameTableModel::Captions() {
    return {QStringLiteral("Время, с"), QStringLiteral("Напр."),    QStringLiteral("Кадр"),
            QStringLiteral("Запрос"),   QStringLiteral("Проверка"), QStringLiteral("Итог")};
}

QString FrameTableModel::CheckText(Check check) {
    switch (check) {
    case Check::Good: return QStringLiteral("верна");
    case Check::Bad: return QStringLiteral("неверна");
    case Check::Short: return QStringLiteral("короткий кадр");
    case Check::None: break;
    }
    return {};
}

QString FrameTableModel::OutcomeText(const Frame& frame) {
    QString text;
    switch (frame.outcome) {
    case Outcome::None: return {};
    case Outcome::Answered: text = QStringLiteral("ответ"); break;
    case Outcome::Silent: return QStringLiteral("нет ответа");
    case Outcome::Short: text = QStringLiteral("неполный ответ"); break;
    case Outcome::BadCheck: text = QStringLiteral("ошибка проверки"); break;
    case Outcome::DeviceError: text = QStringLiteral("ошибка прибора"); break;
    }
    if (frame.replyUs >= 0)
        text += QStringLiteral(" за %1 мс").arg(
            QString::fromStdString(Locale::current().formatFixed(static_cast<double>(frame.replyUs) / 1000.0, 1)));
    return text;
}

QString FrameTableModel::Field(const Frame& frame, int column) const {
    switch (column) {
    case kTime:
        return QString::fromStdString(Locale::current().formatFixed(static_cast<double>(frame.tUs) / 1e6, 6));
    case kDirection: return frame.dir == Direction::Tx ? QStringLiteral("→") : QStringLiteral("←");
    case kBytes: return QString::fromStdString(frame.Hex());
    case kRequest: return QString::fromUtf8(frame.name);
    case kCheck: return CheckText(frame.check);
    case kOutcome: return OutcomeText(frame);
    default: return {};
    }
}

QStringList FrameTableModel::Fields(int row) const {
    QStringList fields;
    for (int column = 0; column < kColumnCount; ++column) fields << Field(FrameAt(row), column);
    return fields;
}

QString FrameTableModel::LineText(int row) const { return Fields(row).join(QLatin1Char('\t')); }

int FrameTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int FrameTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant FrameTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Frame& frame = FrameAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return Field(frame, index.column());
    case Qt::ToolTipRole:
        // The direction arrow says little to a screen reader or a newcomer;
        // a long frame or name is elided in its column.
        if (index.column() == kDirection)
            return frame.dir == Direction::Tx ? QStringLiteral("передано") : QStringLiteral("принято");
        if (index.column() == kBytes || index.column() == kRequest) return Field(frame, index.column());
        return {};
    case Qt::ForegroundRole:
        if (frame.Fault()) return QBrush(QColor(0xC0, 0x00, 0x00));
        return {};
    case Qt::FontRole:
        if (index.column() == kBytes || index.column() == kTime) {
            static const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            return fixed;
        }
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == kTime) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (index.column() == kDirection) return QVariant::fromValue(Qt::AlignCenter);
        return {};
    default:
        return {};
    }
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
    return Captions().at(section);
}
