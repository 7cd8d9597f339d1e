#pragma once
// What each encoder's row in the device list shows: its state and picture, its last status
// reading, the exchange in flight or how the last one ended, when it was last read and how
// many edits it holds not yet written. A row is rewritten only for its own encoder, when
// something of that encoder changed; counting the edits (two whole records compared) only
// when the record may have changed.

#include <functional>
#include <vector>

#include "CEncoderRoster.h"

class CDeviceTree;
class CExchangeController;

class CEncoderRows {
public:
    // The edits of an encoder not yet written.
    using EditCount = std::function<int(uint32_t address)>;

    CEncoderRows(const CEncoderRoster& roster, const CExchangeController& exchanges, CDeviceTree& list,
                 EditCount editCount);

    // The encoder's row as its entry and its exchanges stand; `recountEdits` false keeps
    // the edit count the row shows (a status reading, an exchange that merely starts).
    void Update(uint32_t address, bool recountEdits = true);
    void UpdateWithEdits(uint32_t address, int pendingEdits);
    // Rows just made. An encoder new to the list was never read and its record is zero
    // but for its address: its edit count is that of any other new one (whose address is
    // as zero or not), so a restored book of thousands compares two records twice, not
    // once per encoder.
    void ShowListed(const std::vector<CEncoderRoster::Listed>& listed);

private:
    const CEncoderRoster& m_roster;
    const CExchangeController& m_exchanges;
    CDeviceTree& m_list;
    EditCount m_editCount;
};
