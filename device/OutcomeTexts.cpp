#include "OutcomeTexts.h"

#include <algorithm>

const std::vector<OutcomeTextEntry>& OutcomeTexts()
{
    static const std::vector<OutcomeTextEntry> table = {
        {OutcomeText::GateConnectFailed, "Connect Device Failed !"},
        {OutcomeText::GateBusy, "Device is busying !"},
        {OutcomeText::GateKeyboard, "Device is controled by keyboard !"},
        {OutcomeText::AlarmConnectFailed, "Connect device failed"},
        {OutcomeText::AlarmTemperature, "Device temperature warning"},
        {OutcomeText::AlarmProgram1NoOutput, "Program-1 no output"},
        {OutcomeText::AlarmProgram1NoInput, "Program-1 no input"},
        {OutcomeText::AlarmProgram2NoOutput, "Program-2 no output"},
        {OutcomeText::AlarmProgram2NoInput, "Program-2 no input"},
        {OutcomeText::NotReadProgramsAssumedOn,
         "Configuration not read yet: program alarms count both programs as switched on"},
        {OutcomeText::NotReadThresholdUnknown,
         "Configuration not read yet: the temperature warning threshold is not known"},
        {OutcomeText::CreateSocketFailed, "Create Socket Failed !"},
        {OutcomeText::ConnectEncoderFailed, "Connect Encoder Failed !"},
        {OutcomeText::ReadConfigurationFailed, "Read Device Configuration Failed !"},
        {OutcomeText::PasswordMissing, "Please enter correct passowrd !"},
        {OutcomeText::NewPasswordMissing, "Please enter correct newPassowrd !"},
        {OutcomeText::SendFailed, "Send XML Configuration Failed !"},
        {OutcomeText::ReplyCodeFailed, "Recv sendxml cmd failed !"},
        {OutcomeText::ReplyLengthFailed, "Recv sendxml rlen failed !"},
        {OutcomeText::ReplyPayloadFailed, "Recv sendxml ret failed !"},
        {OutcomeText::WriteSucceeded, "Set Configuration Success !"},
        {OutcomeText::PasswordError, "Password Error !"},
        {OutcomeText::WriteFailed, "Set Configuration Failed !"},
        {OutcomeText::ReadFirst, "Please read the configuration first !"},
        {OutcomeText::BrokenRulesNotWritten, "The settings break these rules and were not written:"},
        {OutcomeText::NoSettingsDocument,
         "the encoder's reply was incomplete or not a settings document it could read"},
        {OutcomeText::RequestNotAcknowledged, "request sent; the encoder does not acknowledge it"},
        {OutcomeText::Cancelled, "cancelled"},
        {OutcomeText::ReadBackFailed, "Read back after the write did not succeed: what the encoder took is not known"},
        {OutcomeText::ReadBackAllTook, "Read back after the write: every setting took"},
        {OutcomeText::LocalFailure, "this computer could not run the exchange"},
    };
    return table;
}

const char* TextOf(OutcomeText id)
{
    const std::vector<OutcomeTextEntry>& table = OutcomeTexts();
    const auto found =
        std::find_if(table.begin(), table.end(), [id](const OutcomeTextEntry& entry) { return entry.id == id; });
    return found == table.end() ? "" : found->text;
}

bool IsOutcomeText(const std::string& text)
{
    const std::vector<OutcomeTextEntry>& table = OutcomeTexts();
    return std::any_of(table.begin(), table.end(),
                       [&text](const OutcomeTextEntry& entry) { return text == entry.text; });
}

std::string BrokenRuleLine(const char* heading, const char* label, const std::string& warning)
{
    const std::string row = label ? label : "";
    std::string where = heading && *heading ? std::string(heading) + " / " + row : row;
    return where.empty() ? warning : where + ": " + warning;
}

std::string NotTakenLine(const std::string& name, const std::string& written, const std::string& readBack)
{
    return name + " did not take: written " + written + ", read back " + readBack;
}
