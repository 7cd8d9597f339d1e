#pragma once
// The device list's model: one row per listed encoder, in the order they were added, over
// the records the encoder list owns. Each row caches what its cells show, made when a view
// first asks for them after that encoder's view changed, never again on a later paint, so
// that a list of ten thousand costs per paint only the rows on screen and at start only
// the rows shown first. Finding an encoder's row is a hash lookup.
//
// The activity cell of an encoder with an exchange in flight counts down: its seconds
// come from the countdown the owner gives, asked only when the cell is painted.

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "DeviceStatusReading.h"
#include "EncoderRecord.h"

// The columns of the device list, in their order.
enum DeviceColumn {
    kColumnAddress,
    kColumnState,
    kColumnActivity,   // the exchange in flight and its seconds left, or the last outcome
    kColumnProg1Output,
    kColumnProg1Input,
    kColumnProg2Output,
    kColumnProg2Input,
    kColumnTemperature,
    kColumnLastRead,
    kColumnPending,
    kDeviceColumnCount
};

// What a row shows besides its address; the frame fills it from the encoder's entry.
struct DeviceItemView {
    enum class State { Unknown, Online, Offline };
    State state = State::Unknown;
    std::optional<DeviceStatusReading> status;   // the last status reading; empty: none taken
    bool overTemperature = false;                // the reading raised the temperature alarm
    QDateTime lastRead;                          // invalid: never read
    int pendingEdits = 0;
    QString activity;   // the exchange in flight; empty when idle
    QString outcome;    // the last exchange's outcome, for an idle row
    bool outcomeFailed = false;

    bool InFlight() const { return !activity.isEmpty(); }
    bool operator==(const DeviceItemView& other) const;
    bool operator!=(const DeviceItemView& other) const { return !(*this == other); }
};

class CEncoderModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role {
        SortRole = Qt::UserRole,   // what each column sorts by: numbers as numbers, times as times
        AddressRole,               // the encoder's address, host order
        ImageRole,                 // IMAGE_ONLINE or IMAGE_OFFLINE
    };

    // Seconds left of the encoder's exchange in flight.
    using Countdown = std::function<int(uint32_t address)>;

    explicit CEncoderModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    struct NewRow {
        EncoderRecord* record;   // owned by the encoder list; lives as long as the row
        QString text;            // the address as listed
    };
    // Appends the encoders in one insertion, offline and idle; records already listed are skipped.
    void Append(const std::vector<NewRow>& rows);
    // Removes the encoders' rows, a run of neighbouring rows at a time.
    void Remove(const std::vector<const EncoderRecord*>& records);
    void Clear();

    int RowOf(const EncoderRecord* record) const;   // -1 when not listed
    int RowOfAddress(uint32_t address) const;       // -1 when not listed
    EncoderRecord* RecordAt(int row) const;
    uint32_t AddressAt(int row) const;
    QString TextAt(int row) const;

    // Updates the row only when the view or image differs from what it shows.
    void SetView(const EncoderRecord* record, const DeviceItemView& view);
    const DeviceItemView& View(int row) const;
    void SetImage(const EncoderRecord* record, int image);
    int Image(int row) const;
    int InFlightCount() const { return m_inFlight; }

    void SetCountdown(Countdown countdown) { m_countdown = std::move(countdown); }
    // The address column's heading names what the list is filtered by.
    void SetFilterNote(const QString& filter);

private:
    struct Row {
        EncoderRecord* record = nullptr;
        uint32_t address = 0;   // as listed; an edit of the record's own address does not move the row
        QString text;
        DeviceItemView view;
        int image = 0;
        // The idle texts (the activity cell counts down in flight), made when a view first
        // asks for one and dropped when the encoder changes: the rows of a long list that
        // were never on screen or sorted by text hold none.
        mutable std::unique_ptr<QString[]> cells;
    };

    const QString& Cell(const Row& row, int column) const;
    void Reindex(int from);
    QString ActivityText(const Row& row) const;

    std::vector<Row> m_rows;
    QHash<const EncoderRecord*, int> m_rowOf;
    QHash<uint32_t, int> m_rowOfAddress;
    int m_inFlight = 0;
    Countdown m_countdown;
    QString m_filterNote;
};
