#pragma once
// One status reading of one encoder as a value: whether it answered, the flags with a name
// for each, the temperature byte and when it was taken. Made from an exchange's result in
// one place (FromResult); the gate, the alarm lines, the device list's columns, the
// monitor and the command line all read it through these accessors, so no one else
// decodes the status bits.

#include <chrono>
#include <cstdint>

#include "EncoderRecord.h"

struct ExchangeResult;

class DeviceStatusReading {
public:
    using Time = std::chrono::system_clock::time_point;

    // A reading the encoder did not answer.
    DeviceStatusReading() = default;
    // `flags` as the status exchange returns them (-1: no answer).
    DeviceStatusReading(int flags, int8_t temperature, Time time);
    // The reading an exchange took (its own, or a read's or write's gate); unanswered when
    // it took none.
    static DeviceStatusReading FromResult(const ExchangeResult& result, Time time = std::chrono::system_clock::now());

    bool Answered() const { return m_flags >= 0; }
    int Flags() const { return m_flags; }   // StatusFlags, -1 when not answered
    Time TakenAt() const { return m_time; }

    bool Busy() const;
    bool KeyboardLocked() const;
    // As the encoder's threshold known when the reading was taken judged it.
    bool OverTemperature() const;
    // Judged against `threshold` (the record's warning threshold, 0: off): above it when the
    // reading has a temperature and the threshold is set.
    bool Exceeds(uint16_t threshold) const;
    // `program` is 1 or 2.
    bool HasOutput(int program) const;
    bool HasInput(int program) const;

    bool HasTemperature() const { return Answered() && m_temperature != 0; }
    int Temperature() const { return m_temperature; }   // degrees; 0: no reading

    bool operator==(const DeviceStatusReading& other) const
    {
        return m_flags == other.m_flags && m_temperature == other.m_temperature && m_time == other.m_time;
    }

private:
    bool Has(int flag) const { return Answered() && (m_flags & flag) != 0; }

    int m_flags = -1;
    int8_t m_temperature = 0;
    Time m_time{};
};
