// The window for a fleet: encoders added by the hundred (typed, pasted or imported, read
// by the command line's own address code), and Stop and Start asked for before they take a
// whole selection off air or on. A write to many is reviewed once in CWriteReview.

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QStatusBar>
#include <algorithm>

#include "AddressArguments.h"
#include "AppIds.h"
#include "CAddressBook.h"
#include "CDeviceTree.h"
#include "CExchangeController.h"
#include "CMainFrame.h"
#include "CPrompter.h"
#include "Dialogs.h"
#include "FrameText.h"

namespace {

constexpr int kFleetNoteMs = 15000;   // how long the status bar keeps what an addition did

}   // namespace

// ---------------------------------------------------------------------------------------
// Adding encoders

void CMainFrame::AddFromDialog()
{
    CAddDeviceDlg dialog(m_deviceTree);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted) return;
    if (dialog.Addresses().size() > 1) {
        AddFleet(dialog.Addresses());
        return;
    }
    // One encoder, from either field, becomes the current one, so that its commands are at hand.
    const uint32_t address = dialog.ListGiven() ? dialog.Addresses().front() : dialog.Address();
    EncoderRecord* item = AddEncoder(DottedText(address));
    m_deviceTree->SelectOnly(item);
    m_deviceTree->ScrollToItem(item);
}

int CMainFrame::AddFleet(const std::vector<uint32_t>& addresses)
{
    QStringList fresh;
    for (uint32_t address : addresses)
        if (!ItemOf(address)) fresh << DottedText(address);
    const size_t listed = addresses.size() - size_t(fresh.size());
    const QList<EncoderRecord*> items = AddEncoders(fresh);
    m_addressBook->Save();
    if (!items.isEmpty()) m_deviceTree->ScrollToItem(items.first());
    QString text = QStringLiteral("Added ") + Counted(size_t(fresh.size()), "encoder", "encoders");
    if (listed > 0) text += QStringLiteral(" (%1 already listed)").arg(listed);
    text += QLatin1Char('.');
    Log(QString(), CActivityLog::Severity::Info, text);
    statusBar()->showMessage(text, kFleetNoteMs);
    UpdateCommandStates();
    return int(fresh.size());
}

void CMainFrame::ImportAddresses()
{
    QFileDialog dialog(this, QStringLiteral("Import Addresses"), QString(),
                       QStringLiteral("Address lists (*.txt *.csv *.lst);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    const AddressArguments list = ReadAddressFile(QFile::encodeName(path).toStdString());
    if (!list.Ok()) {
        Warning(list.error);
        return;
    }
    if (list.addresses.empty()) {
        Warning(QStringLiteral("%1 lists no encoder address.").arg(path).toStdString());
        return;
    }
    AddFleet(list.addresses);
}

// ---------------------------------------------------------------------------------------
// Commands on many encoders

bool CMainFrame::ConfirmFleetCommand(ExchangeKind kind, size_t count)
{
    // One encoder keeps its one keystroke; a selection goes off air or on only when asked.
    if (count < 2 || (kind != ExchangeKind::Stop && kind != ExchangeKind::Start)) return true;
    const QString text = QStringLiteral("%1 the TS output of %2 encoders?")
                             .arg(kind == ExchangeKind::Stop ? QStringLiteral("Stop") : QStringLiteral("Start"))
                             .arg(count);
    if (m_prompter.Question(this, text, QStringLiteral("Korvane"))) return true;
    Log(QString(), CActivityLog::Severity::Info,
        QStringLiteral("%1 of %2 encoders not confirmed: nothing sent").arg(ExchangeText(kind)).arg(count));
    return false;
}
