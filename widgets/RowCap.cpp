#include "widgets/RowCap.h"

#include "app/RunLog.h"

#include <QString>

int shownRowCount(int rows)
{
    if (rows <= kMaxReplyRows)
        return rows;
    writeLog(QStringLiteral("列表应答有%1行，只显示前%2行").arg(rows).arg(kMaxReplyRows));
    return kMaxReplyRows;
}
