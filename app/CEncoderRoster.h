#pragma once
// The encoders the window lists: their entries (records, last readings, event logs) in the
// device layer's EncoderList, the device list's rows over them, and the address book that
// keeps their addresses across restarts. Encoders come in one by one (a search's answers),
// by the batch (the book at start, a paste, Add Encoder's list, File > Import Addresses)
// and go by the selection; an encoder with an exchange of the operator's in flight stays,
// since its record is the exchange's until it ends.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "EncoderList.h"

class CActivityLog;
class CAddressBook;
class CDeviceTree;
class CPrompter;
class QMainWindow;

class CEncoderRoster : public QObject {
    Q_OBJECT
public:
    // Whether the encoder has an exchange of the operator's in flight.
    using Busy = std::function<bool(uint32_t address)>;
    // An encoder now listed, and whether it is new to the encoder list.
    using Listed = std::pair<uint32_t, bool>;

    // `window` owns the boxes and dialogs and shows the fleet notes in its status bar.
    CEncoderRoster(QMainWindow& window, CDeviceTree& list, CActivityLog& log, CPrompter& prompter, Busy busy);

    EncoderList& Encoders() { return m_encoders; }
    const EncoderList& Encoders() const { return m_encoders; }

    // The record of the row whose whole text is `text`, found by a hash lookup of its
    // address; null when none.
    EncoderRecord* FindEncoderItem(const QString& text) const;
    EncoderRecord* ItemOf(uint32_t address) const;
    // The item for dotted `text`, made (offline, with a zero-filled record) if missing; the
    // address book is saved once the window's thread is free again.
    EncoderRecord* AddEncoder(const QString& text);
    // The items of many addresses, made in one insertion; the address book is not saved.
    QList<EncoderRecord*> AddEncoders(const QStringList& texts);
    // The same, with the address book saved at once (a paste).
    void AddAndKeep(const QStringList& texts);
    // Clears the selection, then frees the item's record and the item. Refused (false)
    // while the encoder has an exchange in flight.
    bool DeleteEncoder(EncoderRecord* item);
    // The same for many items at once; those with an exchange in flight stay.
    void DeleteEncoders(const QList<EncoderRecord*>& items);

    // Lists the encoders of the address book, without any exchange.
    void RestoreAddressBook();
    // The window's settings are restored: from now on they are kept as they change.
    void KeepChanges() { m_persist = true; }
    bool Persisting() const { return m_persist; }

    // Add Encoder...: one encoder becomes the current one; a list is added as a fleet.
    void AddFromDialog();
    // Lists the encoders given (each once; those listed already stay as they are) in one
    // insertion and one save of the address book, and tells the operator how many were
    // new. Answers that count.
    int AddFleet(const std::vector<uint32_t>& addresses);
    // File > Import Addresses...: an address list file, read as the command line's @FILE.
    void ImportAddresses();

    // The window goes (its exchanges ended): a save still due is made, then the rows and
    // the entries go, rows first. The window calls it while the device list still stands.
    void TakeDown();

signals:
    // Rows were made for these encoders and show nothing of them yet.
    void encodersListed(const std::vector<CEncoderRoster::Listed>& listed);
    // The encoder leaves the list: nothing may be kept of it.
    void encoderLeaving(uint32_t address);
    // Encoders were added or deleted by the operator's command.
    void listChanged();

private:
    // As FindEncoderItem, with `text` already parsed to `address`.
    EncoderRecord* FindEncoderItem(const QString& text, uint32_t address) const;
    QMainWindow& m_window;
    CDeviceTree& m_list;
    CActivityLog& m_log;
    CPrompter& m_prompter;
    Busy m_busy;
    EncoderList m_encoders;
    CAddressBook* m_addressBook = nullptr;
    bool m_persist = false;   // the settings were restored: changes are kept
};
