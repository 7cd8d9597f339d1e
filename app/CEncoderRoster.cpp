#include "CEncoderRoster.h"

#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QSet>
#include <QStatusBar>

#include "AddressArguments.h"
#include "CActivityLog.h"
#include "CAddressBook.h"
#include "CDeviceTree.h"
#include "CPrompter.h"
#include "Dialogs.h"
#include "FrameText.h"
#include "TextConversions.h"

namespace {

constexpr int kFleetNoteMs = 15000;   // how long the status bar keeps what an addition did

}   // namespace

CEncoderRoster::CEncoderRoster(QMainWindow& window, CDeviceTree& list, CActivityLog& log, CPrompter& prompter,
                               Busy busy)
    : QObject(&window), m_window(window), m_list(list), m_log(log), m_prompter(prompter), m_busy(std::move(busy)),
      m_addressBook(new CAddressBook(m_encoders, this))
{}

void CEncoderRoster::TakeDown()
{
    m_addressBook->SaveIfDue();
    // The rows point into the encoder list, which goes before the device list does.
    m_list.blockSignals(true);
    m_list.selectionModel()->blockSignals(true);
    m_list.Model().Clear();
    CountEncoderRecord(-int(m_encoders.Size()));
    m_encoders.Clear();
}

EncoderRecord* CEncoderRoster::FindEncoderItem(const QString& text) const
{
    return FindEncoderItem(text, InetAddrHostOrder(text.toLatin1().constData()));
}

EncoderRecord* CEncoderRoster::FindEncoderItem(const QString& text, uint32_t address) const
{
    // Items match on their whole text: the address finds the row, the text must be its own.
    const CEncoderModel& model = m_list.Model();
    const int row = model.RowOfAddress(address);
    return row >= 0 && model.TextAt(row) == text ? model.RecordAt(row) : nullptr;
}

EncoderRecord* CEncoderRoster::ItemOf(uint32_t address) const
{
    const CEncoderModel& model = m_list.Model();
    return model.RecordAt(model.RowOfAddress(address));
}

EncoderRecord* CEncoderRoster::AddEncoder(const QString& text)
{
    EncoderRecord* item = AddEncoders({text}).value(0);
    m_addressBook->ScheduleSave();
    return item;
}

// One insertion into the list for the whole batch, each address looked up by hash.
QList<EncoderRecord*> CEncoderRoster::AddEncoders(const QStringList& texts)
{
    QList<EncoderRecord*> items;
    std::vector<CEncoderModel::NewRow> rows;
    std::vector<Listed> listed;
    QSet<uint32_t> inBatch;
    items.reserve(texts.size());
    rows.reserve(size_t(texts.size()));
    listed.reserve(size_t(texts.size()));
    inBatch.reserve(texts.size());
    for (const QString& text : texts) {
        // The address parsed once, for the lookup and for the list.
        const uint32_t address = InetAddrHostOrder(text.toLatin1().constData());
        if (EncoderRecord* found = FindEncoderItem(text, address)) {
            items << found;
            continue;
        }
        bool fresh = false;
        EncoderEntry& entry = m_encoders.Add(address, &fresh);
        // Another text for an address already listed, or listed earlier in this batch (the
        // list's own texts are canonical, the first one given): one encoder keeps one item
        // and one record.
        if (!fresh && (ItemOf(address) || inBatch.contains(address))) {
            items << &entry.record;
            continue;
        }
        if (fresh) CountEncoderRecord(1);
        rows.push_back({&entry.record, text});
        listed.push_back({address, fresh});
        inBatch.insert(address);
        items << &entry.record;
    }
    m_list.InsertEncoderItems(rows);
    emit encodersListed(listed);
    return items;
}

void CEncoderRoster::AddAndKeep(const QStringList& texts)
{
    AddEncoders(texts);
    m_addressBook->Save();
}

bool CEncoderRoster::DeleteEncoder(EncoderRecord* item)
{
    if (!item || m_busy(CDeviceTree::ItemAddress(item))) return false;
    DeleteEncoders({item});
    return true;
}

// Clears the selection, then removes the encoders' rows in one go and frees their records.
void CEncoderRoster::DeleteEncoders(const QList<EncoderRecord*>& items)
{
    std::vector<const EncoderRecord*> doomed;
    std::vector<uint32_t> addresses;
    for (EncoderRecord* item : items) {
        const uint32_t address = CDeviceTree::ItemAddress(item);
        if (!item || m_busy(address) || ItemOf(address) != item) continue;
        doomed.push_back(item);
        addresses.push_back(address);
    }
    m_list.SelectNone();
    m_list.RemoveEncoderItems(doomed);
    for (uint32_t address : addresses) {
        emit encoderLeaving(address);
        if (m_encoders.Remove(address)) CountEncoderRecord(-1);
    }
    m_addressBook->Save();
    emit listChanged();
}

void CEncoderRoster::RestoreAddressBook()
{
    AddEncoders(m_addressBook->Restore());
}

// ---------------------------------------------------------------------------------------
// Fleets: encoders added by the hundred, typed, pasted or imported, read by the command
// line's own address code

void CEncoderRoster::AddFromDialog()
{
    CAddDeviceDlg dialog(&m_list);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted) return;
    if (dialog.Addresses().size() > 1) {
        AddFleet(dialog.Addresses());
        return;
    }
    // One encoder, from either field, becomes the current one, so that its commands are at hand.
    const uint32_t address = dialog.ListGiven() ? dialog.Addresses().front() : dialog.Address();
    EncoderRecord* item = AddEncoder(DottedText(address));
    m_list.SelectOnly(item);
    m_list.ScrollToItem(item);
}

int CEncoderRoster::AddFleet(const std::vector<uint32_t>& addresses)
{
    // An address given twice is one encoder, added once and counted once.
    QStringList fresh;
    QSet<uint32_t> given;
    size_t listed = 0;
    for (uint32_t address : addresses) {
        if (given.contains(address)) continue;
        given.insert(address);
        if (ItemOf(address))
            ++listed;
        else
            fresh << DottedText(address);
    }
    const QList<EncoderRecord*> items = AddEncoders(fresh);
    m_addressBook->Save();
    if (!items.isEmpty()) m_list.ScrollToItem(items.first());
    QString text = QStringLiteral("Added %1 %2")
                       .arg(fresh.size())
                       .arg(fresh.size() == 1 ? QStringLiteral("encoder") : QStringLiteral("encoders"));
    if (listed > 0) text += QStringLiteral(" (%1 already listed)").arg(listed);
    text += QLatin1Char('.');
    m_log.Log(QString(), CActivityLog::Severity::Info, text);
    m_window.statusBar()->showMessage(text, kFleetNoteMs);
    emit listChanged();
    return int(fresh.size());
}

void CEncoderRoster::ImportAddresses()
{
    QFileDialog dialog(&m_window, QStringLiteral("Import Addresses"), QString(),
                       QStringLiteral("Address lists (*.txt *.csv *.lst);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    const AddressArguments list = ReadAddressFile(QFile::encodeName(path).toStdString());
    if (!list.Ok()) {
        m_prompter.Warning(&m_window, QString::fromStdString(list.error));
        return;
    }
    if (list.addresses.empty()) {
        m_prompter.Warning(&m_window, QStringLiteral("%1 lists no encoder address.").arg(path));
        return;
    }
    AddFleet(list.addresses);
}
