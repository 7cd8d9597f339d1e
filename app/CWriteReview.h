#pragma once
// The write path of the window, from the operator's command to the exchanges: the checks
// that refuse a write before anything is sent (read first, the whole record keeps every
// rule), one review of the changes for the whole batch, one question for the passwords of
// many encoders; and the window that closes with edits not written, which asks first and
// may close once its writes took.

#include <QObject>
#include <functional>
#include <vector>

#include "EncoderList.h"

class CActivityLog;
class CExchangeController;
class CPrompter;
class QWidget;

class CWriteReview : public QObject {
public:
    // What the write path asks of the rest of the window; the frame wires them.
    struct Hooks {
        std::function<void()> exchangesStarted;   // the command states and the progress shown again
        std::function<bool()> closing;            // the window is going anyway
    };

    // `window` owns the boxes and is closed when the writes begun at closing took.
    CWriteReview(QWidget& window, CPrompter& prompter, EncoderList& encoders, CExchangeController& exchanges,
                 CActivityLog& log, Hooks hooks);

    // Writes the encoders' records the way Write Configuration does (checks, one review for
    // the batch, passwords); the encoders whose write started.
    std::vector<uint32_t> WriteEncoders(std::vector<uint32_t> addresses);
    // The listed encoders with edits not written.
    std::vector<uint32_t> EncodersWithPendingEdits() const;
    // Closing with edits not written asks (Write, Discard, Cancel); true to go on closing.
    // Write starts the writes and keeps the window until they end.
    bool ClosingWithPendingEdits();

private:
    // The checks before a write: read first, the whole record, the review. Leaves in
    // `addresses` the encoders to write; false when none is left.
    bool PrepareWrite(std::vector<uint32_t>& addresses);
    // The one review of a write's changes; false when the operator declined it.
    bool ReviewWrite(const std::vector<uint32_t>& addresses);
    // Several encoders, some without both passwords in their sheet: asks once for the
    // passwords of the whole write (kept in memory for this write only). False: cancelled.
    bool AskBatchPasswords(const std::vector<uint32_t>& addresses);
    void CloseWhenWritten();
    void Log(const QString& encoder, const QString& text, bool error = false);

    QWidget& m_window;
    CPrompter& m_prompter;
    EncoderList& m_encoders;
    CExchangeController& m_exchanges;
    CActivityLog& m_log;
    Hooks m_hooks;
    std::vector<uint32_t> m_closeWrites;   // the writes the closing window waits for
};
