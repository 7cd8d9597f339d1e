#include "CAddressBook.h"

#include <QSettings>
#include <QTimer>

#include "CEditCommands.h"
#include "FrameText.h"

const char* const kAddressBookKey = "AddressBook/encoders";

CAddressBook::CAddressBook(const EncoderList& encoders, QObject* parent) : QObject(parent), m_encoders(encoders)
{}

void CAddressBook::SaveIfDue()
{
    if (m_scheduled) Save();
}

QStringList CAddressBook::Restore()
{
    const QStringList book = QSettings().value(QString::fromLatin1(kAddressBookKey)).toStringList();
    QStringList texts;
    texts.reserve(book.size());
    for (const QString& text : book) {
        uint32_t address = 0;
        if (!ParseDotted(text.trimmed(), address)) continue;
        // The book holds what the list wrote, already canonical: the text is kept, not made again.
        const std::string dotted = FormatDotted(address);
        texts << (text == QLatin1String(dotted.data(), qsizetype(dotted.size())) ? text
                                                                                 : QString::fromStdString(dotted));
    }
    m_restored = true;
    return texts;
}

void CAddressBook::ScheduleSave()
{
    if (!m_restored || m_scheduled) return;
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] {
        if (m_scheduled) Save();
    });
}

void CAddressBook::Save()
{
    m_scheduled = false;
    if (!m_restored) return;
    QStringList book;
    book.reserve(qsizetype(m_encoders.Size()));
    for (const EncoderEntry& entry : m_encoders) book << QString::fromStdString(entry.dotted);
    QSettings().setValue(QString::fromLatin1(kAddressBookKey), book);
}
