#pragma once
// The address book: the device list's addresses, kept in the per-user settings in list
// order. Read once at start; saved once per change (a deletion of a selection, a paste),
// or once the window's thread is free again for encoders added one by one (those
// answering a search). Nothing is saved before it has been read, so a window made
// without restoring its settings leaves them alone.

#include <QObject>
#include <QStringList>

#include "EncoderList.h"

class CAddressBook : public QObject {
public:
    CAddressBook(const EncoderList& encoders, QObject* parent);

    // The addresses kept, as the device list shows them; those that are not four dotted
    // numbers are left out. From now on changes are saved.
    QStringList Restore();
    void Save();
    void ScheduleSave();
    // A save scheduled and not yet made, made now (before the list is taken down).
    void SaveIfDue();

private:
    const EncoderList& m_encoders;
    bool m_restored = false;
    bool m_scheduled = false;
};

// The setting under which the address book is kept.
extern const char* const kAddressBookKey;
