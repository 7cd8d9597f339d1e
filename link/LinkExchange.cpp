#include "LinkExchange.h"

#include <asio/post.hpp>

#include <algorithm>

#include "LinkIo.h"
#include "LinkProtocol.h"
#include "LinkSearch.h"
#include "SettingsDocument.h"
#include "TextConversions.h"

std::shared_ptr<LinkExchange> LinkExchange::Make(asio::io_context& io, LinkReporter& reporter,
                                                 const LinkOptions& options, LinkOperation operation,
                                                 const EncoderRecord& record, uint32_t searchAddress, LinkHooks hooks,
                                                 Done done)
{
    return std::make_shared<LinkExchange>(io, reporter, options, operation, record, searchAddress, std::move(hooks),
                                          std::move(done));
}

LinkExchange::LinkExchange(asio::io_context& io, LinkReporter& reporter, const LinkOptions& options,
                           LinkOperation operation, const EncoderRecord& record, uint32_t searchAddress,
                           LinkHooks hooks, Done done)
    : m_ioContext(io), m_reporter(reporter), m_options(options), m_operation(operation), m_searchAddress(searchAddress),
      m_hooks(std::move(hooks)), m_done(std::move(done)), m_io(std::make_shared<LinkIo>(io, m_options))
{
    m_outcome.record = record;
}

LinkExchange::~LinkExchange() = default;

void LinkExchange::Start()
{
    switch (m_operation) {
    case LinkOperation::Status:
        Status();
        break;
    case LinkOperation::Read:
        Read();
        break;
    case LinkOperation::Write:
        Write();
        break;
    case LinkOperation::Start:
        ShortRequest(CMD_START_TS);
        break;
    case LinkOperation::Stop:
        ShortRequest(CMD_STOP_TS);
        break;
    case LinkOperation::Search:
        Search();
        break;
    }
}

void LinkExchange::ReportNoSocket(LinkOperation operation, const EncoderRecord& record, LinkReporter& reporter,
                                  LinkOutcome& outcome)
{
    outcome.result = 0;
    switch (operation) {
    case LinkOperation::Status:
        outcome.result = -1;   // a status reading says nothing of its own
        return;
    case LinkOperation::Search:
        return;
    case LinkOperation::Write:
        if (record.password[0] == 0) {
            reporter.Warning("Please enter correct passowrd !");
            return;
        }
        if (record.newPassword[0] == 0) {
            reporter.Warning("Please enter correct newPassowrd !");
            return;
        }
        break;
    case LinkOperation::Read:
    case LinkOperation::Start:
    case LinkOperation::Stop:
        break;
    }
    reporter.Warning("Create Socket Failed !");
}

void LinkExchange::Cancel()
{
    if (m_finished) {
        return;
    }
    m_io->Cancel();
    if (m_search) {
        m_search->Close();
    }
    m_outcome.cancelled = true;
    auto self = shared_from_this();
    asio::post(m_ioContext, [self] { self->Finish(0); });
}

// A cancelled exchange has nothing more to say: whoever cancelled it reports the cancel.
void LinkExchange::Warning(const std::string& text)
{
    if (!m_outcome.cancelled) {
        m_reporter.Warning(text);
    }
}

void LinkExchange::Tip(const std::string& text)
{
    if (!m_outcome.cancelled) {
        m_reporter.Tip(text);
    }
}

void LinkExchange::Finish(int result)
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_io->Close();
    if (m_search) {
        m_search->Close();
    }
    m_outcome.result = m_outcome.cancelled ? 0 : result;
    if (m_outcome.localError.empty()) {
        m_outcome.localError = m_io->LocalError();
        m_outcome.localErrorCode = m_io->LocalErrorCode();
    }
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done) {
        done(m_outcome);
    }
}

void LinkExchange::Connect(bool report, std::function<void(bool)> then)
{
    auto self = shared_from_this();
    m_io->Connect(m_outcome.record.ipAddr, [self, report, then = std::move(then)](LinkIo::ConnectResult result) {
        if (result == LinkIo::ConnectResult::Connected) {
            then(true);
            return;
        }
        if (report) {
            self->Warning(result == LinkIo::ConnectResult::NoSocket ? "Create Socket Failed !"
                                                                    : "Connect Encoder Failed !");
        }
        then(false);
    });
}

// Each field of a request goes out in its own send, as the encoder reads it; like the
// encoder's own tool, a header whose send fails goes on to its wait and reply.
void LinkExchange::SendHeader(int32_t code, int32_t length, std::function<void()> then)
{
    PutInt32LE(m_header, code);
    PutInt32LE(m_header + 4, length);
    auto self = shared_from_this();
    m_io->Send(m_header, 4, [self, then = std::move(then)](bool) {
        self->m_io->Send(self->m_header + 4, 4, [then](bool) { then(); });
    });
}

// ---- status ----

void LinkExchange::Status()
{
    m_outcome.reading = StatusReply{};
    auto self = shared_from_this();
    Connect(false, [self](bool connected) {
        if (!connected) {
            self->Finish(-1);
            return;
        }
        self->SendHeader(CMD_STATUS, 0, [self] {
            self->m_io->Wait(self->m_options.timing.statusWaitMs, [self] {
                self->m_io->ReceiveInt32([self](bool whole, int32_t code) {
                    if (!whole || code != CMD_STATUS) {
                        self->Finish(-1);
                        return;
                    }
                    self->m_io->ReceiveInt32([self](bool whole, int32_t length) {
                        if (!whole || length <= 0) {
                            self->Finish(-1);
                            return;
                        }
                        // A longer reply is cut to the buffer; only its first 7 bytes carry meaning.
                        self->m_reply.assign(kStatusReplyBufferSize, 0);
                        int wanted = std::min(length, kStatusReplyBufferSize);
                        self->m_io->Receive(self->m_reply.data(), wanted, [self, wanted](int count) {
                            if (count != wanted) {
                                self->Finish(-1);
                                return;
                            }
                            const uint8_t* reply = self->m_reply.data();
                            StatusReply& reading = self->m_outcome.reading;
                            reading.flags =
                                StatusFlagsFromReply(reply, self->m_reply.size(), self->m_outcome.record.temperature);
                            reading.temperature = static_cast<int8_t>(reply[2]);
                            self->Finish(reading.flags);
                        });
                    });
                });
            });
        });
    });
}

// ---- read ----

void LinkExchange::Read()
{
    auto self = shared_from_this();
    Connect(true, [self](bool connected) {
        if (!connected) {
            self->Finish(0);
            return;
        }
        self->SendHeader(CMD_READ_CONFIG, 0, [self] {
            self->m_io->Wait(self->m_options.timing.readWaitMs, [self] {
                self->m_io->ReceiveInt32([self](bool whole, int32_t code) {
                    if (!whole) {
                        self->Warning("Read Device Configuration Failed !");
                        self->Finish(0);
                        return;
                    }
                    if (code != CMD_READ_CONFIG) {
                        self->Finish(0);
                        return;
                    }
                    self->m_io->ReceiveInt32([self](bool whole, int32_t length) {
                        if (!whole || length < 1 || length > kMaxReadLength) {
                            self->Finish(0);
                            return;
                        }
                        self->m_payload.assign(static_cast<size_t>(length), '\0');
                        self->m_length = length;
                        self->m_received = 0;
                        self->ReceivePayload();
                    });
                });
            });
        });
    });
}

// A peer that trickles its reply meets the exchange's receive bound, not an endless read.
void LinkExchange::ReceivePayload()
{
    if (m_received == m_length) {
        // Whole: the payload becomes the outcome's document as it is, without a copy.
        if (!m_hooks.decode) {
            m_outcome.document = std::move(m_payload);
            Parsed(ReadSettingsText(m_outcome.document.data(), m_length, m_outcome.record));
            return;
        }
        // The parse works on copies of its own: a cancel meanwhile ends the exchange on the
        // loop at once, and the parse, when it comes back, finds it over.
        struct Parse {
            std::string text;
            EncoderRecord record{};
            int result = 0;
        };
        auto parse = std::make_shared<Parse>();
        parse->text = std::move(m_payload);
        parse->record = m_outcome.record;
        auto self = shared_from_this();
        m_hooks.decode([self, parse] {
            parse->result = ReadSettingsText(parse->text.data(), static_cast<int>(parse->text.size()), parse->record);
            asio::post(self->m_ioContext, [self, parse] {
                if (self->m_finished) {
                    return;
                }
                self->m_outcome.record = parse->record;
                self->m_outcome.document = std::move(parse->text);
                self->Parsed(parse->result);
            });
        });
        return;
    }
    auto self = shared_from_this();
    m_io->Receive(&m_payload[static_cast<size_t>(m_received)], m_length - m_received, [self](int count) {
        if (count <= 0) {
            self->Finish(0);
            return;
        }
        self->m_received += count;
        self->ReceivePayload();
    });
}

void LinkExchange::Parsed(int result)
{
    if (result != 0) {
        m_outcome.record.loaded = 1;
    }
    Finish(result);
}

// ---- write ----

void LinkExchange::Write()
{
    EncoderRecord& record = m_outcome.record;
    if (record.password[0] == 0) {
        Warning("Please enter correct passowrd !");
        auto self = shared_from_this();
        asio::post(m_ioContext, [self] { self->Finish(0); });
        return;
    }
    if (record.newPassword[0] == 0) {
        Warning("Please enter correct newPassowrd !");
        auto self = shared_from_this();
        asio::post(m_ioContext, [self] { self->Finish(0); });
        return;
    }
    m_buffer.assign(kWriteBufferSize, 0);
    int length = WriteSettingsDocument(record, m_buffer.data());
    if (length < 0 || length >= kWriteBufferSize) {
        length = 0;   // never send past the buffer, whatever the writer claims
    }
    m_length = length;
    m_outcome.document.assign(m_buffer.data(), static_cast<size_t>(length));
    // The copy on disk is the operator's record of what was sent, so the layer above keeps
    // it even when the encoder then cannot be reached.
    if (m_hooks.sending) {
        m_hooks.sending(m_outcome.document);
    }
    auto self = shared_from_this();
    Connect(true, [self](bool connected) {
        if (!connected) {
            self->Finish(0);
            return;
        }
        self->SendHeader(CMD_WRITE_CONFIG, self->m_length, [self] {
            self->m_io->Send(self->m_buffer.data(), static_cast<size_t>(self->m_length), [self](bool sent) {
                if (!sent) {
                    self->Warning("Send XML Configuration Failed !");
                    self->Finish(0);
                    return;
                }
                self->m_io->Wait(self->m_options.timing.writeWaitMs, [self] { self->ReceiveWriteReply(); });
            });
        });
    });
}

// The reply's code is not compared, and no failed receive ends the exchange: the verdict
// comes from whatever reached the reply buffer.
void LinkExchange::ReceiveWriteReply()
{
    m_reply.assign(kWriteReplyBufferSize, 0);
    auto self = shared_from_this();
    m_io->ReceiveInt32([self](bool whole, int32_t) {
        if (!whole) {
            self->Warning("Recv sendxml cmd failed !");
        }
        self->m_io->ReceiveInt32([self](bool whole, int32_t replyLength) {
            if (!whole) {
                self->Warning("Recv sendxml rlen failed !");
                self->Judge();
                return;
            }
            // A longer reply is cut to the buffer; what counts is at its start. A negative
            // length cannot be received at all.
            int wanted = std::min(replyLength, kWriteReplyBufferSize);
            if (wanted == 0) {
                self->Judge();
                return;
            }
            if (wanted < 0) {
                self->Warning("Recv sendxml ret failed !");
                self->Judge();
                return;
            }
            self->m_io->Receive(self->m_reply.data(), wanted, [self, wanted](int count) {
                if (count != wanted) {
                    self->Warning("Recv sendxml ret failed !");
                }
                self->Judge();
            });
        });
    });
}

void LinkExchange::Judge()
{
    switch (JudgeWriteReply(m_reply.data(), m_reply.size())) {
    case WriteVerdict::Success:
        Tip("Set Configuration Success !");
        Finish(1);
        return;
    case WriteVerdict::PasswordError:
        Warning("Password Error !");
        Finish(0);
        return;
    case WriteVerdict::Failed:
        break;
    }
    Warning("Set Configuration Failed !");
    Finish(0);
}

// ---- start, stop ----

// The encoder does not answer these: the request sent is the whole exchange.
void LinkExchange::ShortRequest(int32_t code)
{
    auto self = shared_from_this();
    Connect(true, [self, code](bool connected) {
        if (!connected) {
            self->Finish(0);
            return;
        }
        self->SendHeader(code, 0, [self] { self->Finish(1); });
    });
}

// ---- discovery ----

void LinkExchange::Search()
{
    auto self = shared_from_this();
    m_search = std::make_shared<LinkSearch>(m_ioContext, m_options);
    m_search->Start(
        m_searchAddress,
        [self](const std::string& dotted) {
            if (self->m_hooks.found) {
                self->m_hooks.found(dotted);
            }
        },
        [self] {
            self->m_outcome.localError = self->m_search->LocalError();
            self->m_outcome.localErrorCode = self->m_search->LocalErrorCode();
            self->Finish(0);
        });
}
