// QLDI06: the routine-transmission information of transmission items (table QLDTB).
//
// Called with (item list, mode, category). The item list is the one the transmission settings program
// builds from a QLDMB.MB003 content: items separated by ";", each "table,description,file name,key
// columns". Mode "2" (export) creates the entries of the listed items or resets them so that the next
// routine transmission sends them in full; any other mode removes them. An item must be one that some
// QLDMB record lists. The whole list is checked first: with any failure nothing is written and the result
// holds one line per failure; on success the result is empty.
#pragma once

#include "Storage.h"

#include <QSet>

namespace kvxsrv {

class TransmissionReset {
public:
    explicit TransmissionReset(Storage& s) : s_(s) {}

    QString run(const QString& itemList, const QString& mode, const QString& category,
                const QString& user = {});

private:
    Storage& s_;
    QSet<QString> knownItems();
};

} // namespace kvxsrv
