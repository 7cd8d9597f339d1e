// The device list's model on its own: Qt's model checks over every change it makes, the
// texts each view gives, and that a change touches its own row only.

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QtTest>
#include <deque>
#include <functional>

#include "AppIds.h"
#include "CEncoderModel.h"
#include "LinkProtocol.h"

namespace {

// Records that live as long as a test, as the encoder list's would.
struct Records {
    std::deque<EncoderRecord> records;
    EncoderRecord* Make(uint32_t address)
    {
        records.push_back(EncoderRecord{});
        records.back().ipAddr = address;
        return &records.back();
    }
    std::vector<CEncoderModel::NewRow> Rows(uint32_t first, int count)
    {
        std::vector<CEncoderModel::NewRow> rows;
        for (int i = 0; i < count; ++i) {
            const uint32_t address = first + uint32_t(i);
            rows.push_back({Make(address), QStringLiteral("10.0.%1.%2").arg(address >> 8 & 255).arg(address & 255)});
        }
        return rows;
    }
};

QStringList Addresses(const QAbstractItemModel& model)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << model.index(row, kColumnAddress).data().toString();
    return texts;
}

DeviceItemView Online(int flags, int temperature)
{
    DeviceItemView view;
    view.state = DeviceItemView::State::Online;
    view.status = DeviceStatusReading(flags, int8_t(temperature), std::chrono::system_clock::time_point{});
    view.overTemperature = (flags & STATUS_OVER_TEMPERATURE) != 0;
    return view;
}

}   // namespace

using ModelStep = std::function<void(CEncoderModel&, Records&)>;
Q_DECLARE_METATYPE(ModelStep)
Q_DECLARE_METATYPE(DeviceItemView)

class tst_EncoderModel : public QObject {
    Q_OBJECT

private slots:
    void passesQtsModelChecks_data();
    void passesQtsModelChecks();
    void cellsShowTheView_data();
    void cellsShowTheView();
    void aChangeTouchesItsOwnRowOnly();
    void countdownIsAskedOnlyInFlight();
    void rowsAreFoundByHashAfterRemovals();
};

// Every step runs under QAbstractItemModelTester watching the model and a sorting proxy
// over it, so that inserts, removals and changes keep Qt's model rules.
void tst_EncoderModel::passesQtsModelChecks_data()
{
    QTest::addColumn<ModelStep>("step");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("append a batch") << ModelStep([](CEncoderModel& m, Records& r) { m.Append(r.Rows(1, 3)); })
                                    << QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
    QTest::newRow("append skips a listed record") << ModelStep([](CEncoderModel& m, Records& r) {
        auto rows = r.Rows(1, 2);
        m.Append(rows);
        m.Append({rows[1], rows[0]});
    }) << QStringList({"10.0.0.1", "10.0.0.2"});
    QTest::newRow("remove the middle") << ModelStep([](CEncoderModel& m, Records& r) {
        auto rows = r.Rows(1, 5);
        m.Append(rows);
        m.Remove({rows[2].record});
    }) << QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.4", "10.0.0.5"});
    QTest::newRow("remove two runs and a stranger") << ModelStep([](CEncoderModel& m, Records& r) {
        auto rows = r.Rows(1, 7);
        m.Append(rows);
        m.Remove({rows[5].record, rows[0].record, rows[1].record, rows[6].record, r.Make(99)});
    }) << QStringList({"10.0.0.3", "10.0.0.4", "10.0.0.5"});
    QTest::newRow("change views and images") << ModelStep([](CEncoderModel& m, Records& r) {
        auto rows = r.Rows(1, 3);
        m.Append(rows);
        m.SetView(rows[1].record, Online(0, 40));
        m.SetImage(rows[1].record, IMAGE_ONLINE);
        m.SetView(rows[0].record, Online(STATUS_BUSY, 41));
    }) << QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
    QTest::newRow("clear") << ModelStep([](CEncoderModel& m, Records& r) {
        m.Append(r.Rows(1, 4));
        m.Clear();
    }) << QStringList();
    QTest::newRow("filter note") << ModelStep([](CEncoderModel& m, Records& r) {
        m.Append(r.Rows(1, 1));
        m.SetFilterNote(QStringLiteral("10."));
    }) << QStringList({"10.0.0.1"});
}

void tst_EncoderModel::passesQtsModelChecks()
{
    QFETCH(ModelStep, step);
    QFETCH(QStringList, expected);
    Records records;
    CEncoderModel model;
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.sort(kColumnAddress);
    QAbstractItemModelTester modelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    step(model, records);
    QCOMPARE(Addresses(model), expected);
    QCOMPARE(model.columnCount(), int(kDeviceColumnCount));
    for (int row = 0; row < model.rowCount(); ++row) QCOMPARE(model.RowOf(model.RecordAt(row)), row);
}

void tst_EncoderModel::cellsShowTheView_data()
{
    QTest::addColumn<DeviceItemView>("view");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");

    QTest::newRow("never read: no state") << DeviceItemView{} << int(kColumnState) << QString();
    DeviceItemView offline;
    offline.state = DeviceItemView::State::Offline;
    QTest::newRow("offline") << offline << int(kColumnState) << QStringLiteral("offline");
    QTest::newRow("online") << Online(0, 38) << int(kColumnState) << QStringLiteral("online");
    QTest::newRow("busy before keyboard")
        << Online(STATUS_BUSY | STATUS_KEYBOARD, 38) << int(kColumnState) << QStringLiteral("busy");
    QTest::newRow("keyboard") << Online(STATUS_KEYBOARD, 38) << int(kColumnState) << QStringLiteral("keyboard");
    QTest::newRow("program 1 output") << Online(0, 38) << int(kColumnProg1Output) << QStringLiteral("running");
    QTest::newRow("program 1 no output") << Online(STATUS_PROG1_NO_OUTPUT, 38) << int(kColumnProg1Output)
                                         << QStringLiteral("none");
    QTest::newRow("program 2 no input") << Online(STATUS_PROG2_NO_INPUT, 38) << int(kColumnProg2Input)
                                        << QStringLiteral("none");
    QTest::newRow("no answer: no program state") << Online(-1, 0) << int(kColumnProg1Input) << QString();
    QTest::newRow("temperature") << Online(0, -12) << int(kColumnTemperature) << QStringLiteral("-12 \u00B0C");
    QTest::newRow("no temperature") << Online(0, 0) << int(kColumnTemperature) << QString();
    DeviceItemView pending;
    pending.pendingEdits = 7;
    QTest::newRow("pending") << pending << int(kColumnPending) << QStringLiteral("7");
    DeviceItemView failed;
    failed.outcome = QStringLiteral("Read Configuration failed");
    failed.outcomeFailed = true;
    QTest::newRow("outcome") << failed << int(kColumnActivity) << QStringLiteral("Read Configuration failed");
    DeviceItemView flying = failed;
    flying.activity = QStringLiteral("Write Configuration");
    QTest::newRow("in flight: state") << flying << int(kColumnState) << QStringLiteral("in flight");
    QTest::newRow("in flight: countdown")
        << flying << int(kColumnActivity) << QStringLiteral("Write Configuration, 12 s left");
}

void tst_EncoderModel::cellsShowTheView()
{
    QFETCH(DeviceItemView, view);
    QFETCH(int, column);
    QFETCH(QString, text);
    Records records;
    CEncoderModel model;
    model.SetCountdown([](uint32_t) { return 12; });
    auto rows = records.Rows(1, 1);
    model.Append(rows);
    // Shown once as never read, as a list is at start: what the row then caches must not
    // outlive the change.
    for (int shown = 0; shown < kDeviceColumnCount; ++shown) model.index(0, shown).data();
    model.SetView(rows[0].record, view);
    QCOMPARE(model.index(0, column).data().toString(), text);
}

void tst_EncoderModel::aChangeTouchesItsOwnRowOnly()
{
    Records records;
    CEncoderModel model;
    auto rows = records.Rows(1, 100);
    model.Append(rows);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.SetView(rows[42].record, DeviceItemView{});   // what it already shows
    model.SetImage(rows[42].record, IMAGE_OFFLINE);
    QCOMPARE(changed.count(), 0);

    model.SetView(rows[42].record, Online(0, 38));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].toModelIndex().row(), 42);
    QCOMPARE(changed[0][1].toModelIndex().row(), 42);
    model.SetImage(rows[42].record, IMAGE_ONLINE);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed[1][0].toModelIndex(), model.index(42, kColumnAddress));
    QCOMPARE(changed[1][1].toModelIndex(), model.index(42, kColumnAddress));
}

void tst_EncoderModel::countdownIsAskedOnlyInFlight()
{
    Records records;
    CEncoderModel model;
    QList<uint32_t> asked;
    model.SetCountdown([&asked](uint32_t address) {
        asked << address;
        return -3;   // an exchange past its expected time shows no negative seconds
    });
    auto rows = records.Rows(1, 3);
    model.Append(rows);
    DeviceItemView flying;
    flying.activity = QStringLiteral("Read Configuration");
    model.SetView(rows[1].record, flying);
    QCOMPARE(model.InFlightCount(), 1);
    for (int row = 0; row < 3; ++row) model.index(row, kColumnActivity).data();
    QCOMPARE(asked, QList<uint32_t>({2u}));
    QCOMPARE(model.index(1, kColumnActivity).data().toString(), QStringLiteral("Read Configuration, 0 s left"));
    model.Remove({rows[1].record});
    QCOMPARE(model.InFlightCount(), 0);
}

void tst_EncoderModel::rowsAreFoundByHashAfterRemovals()
{
    Records records;
    CEncoderModel model;
    auto rows = records.Rows(0x0A000001, 10000);
    model.Append(rows);
    std::vector<const EncoderRecord*> doomed;
    for (size_t i = 0; i < rows.size(); i += 3) doomed.push_back(rows[i].record);
    model.Remove(doomed);
    QCOMPARE(model.rowCount(), 10000 - int(doomed.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = model.RowOf(rows[i].record);
        if (i % 3 == 0) {
            QCOMPARE(row, -1);
            QCOMPARE(model.RowOfAddress(rows[i].record->ipAddr), -1);
        } else {
            QCOMPARE(model.RecordAt(row), rows[i].record);
            QCOMPARE(model.RowOfAddress(rows[i].record->ipAddr), row);
        }
    }
}

QTEST_MAIN(tst_EncoderModel)
#include "tst_encoder_model.moc"
