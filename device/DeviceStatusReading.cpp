#include "DeviceStatusReading.h"

#include "ExchangeEngine.h"
#include "LinkProtocol.h"

DeviceStatusReading::DeviceStatusReading(int flags, int8_t temperature, Time time)
    : m_flags(flags < 0 ? -1 : flags), m_temperature(flags < 0 ? int8_t{0} : temperature), m_time(time)
{}

DeviceStatusReading DeviceStatusReading::FromResult(const ExchangeResult& result, Time time)
{
    if (!result.statusTaken) return DeviceStatusReading(-1, 0, time);
    return DeviceStatusReading(result.statusFlags, result.temperature, time);
}

bool DeviceStatusReading::Busy() const
{
    return Has(STATUS_BUSY);
}

bool DeviceStatusReading::KeyboardLocked() const
{
    return Has(STATUS_KEYBOARD);
}

bool DeviceStatusReading::OverTemperature() const
{
    return Has(STATUS_OVER_TEMPERATURE);
}

bool DeviceStatusReading::Exceeds(uint16_t threshold) const
{
    // The encoder's own comparison: its signed reading against its unsigned threshold.
    return HasTemperature() && threshold != 0 && int{m_temperature} > int{threshold};
}

bool DeviceStatusReading::HasOutput(int program) const
{
    return Answered() && !Has(program == 1 ? STATUS_PROG1_NO_OUTPUT : STATUS_PROG2_NO_OUTPUT);
}

bool DeviceStatusReading::HasInput(int program) const
{
    return Answered() && !Has(program == 1 ? STATUS_PROG1_NO_INPUT : STATUS_PROG2_NO_INPUT);
}
