#include "OperationReport.h"

const char* OperationName(OperationKind kind)
{
    switch (kind) {
    case OperationKind::Status:
        return ExchangeKindName(ExchangeKind::Status);
    case OperationKind::Read:
        return ExchangeKindName(ExchangeKind::Read);
    case OperationKind::Write:
        return ExchangeKindName(ExchangeKind::Write);
    case OperationKind::Start:
        return ExchangeKindName(ExchangeKind::Start);
    case OperationKind::Stop:
        return ExchangeKindName(ExchangeKind::Stop);
    }
    return "";
}
