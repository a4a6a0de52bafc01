// TdmQldi05: the data module of the transmission settings window, on the single-table data module.
// Components only: the connection to the program server "Trivon.Class1" and the main dataset over
// provider "pvdMain" with the persistent fields of QLDMB in their display order (MB003, the item list, is
// kept but never shown), and the grid editors of the mode and category columns. All behaviour is the
// single-table data module's.
#pragma once

#include "data/SingleCD.h"

#include <QStringList>

namespace kvx {

class TField;

class TdmQldi05 : public TdmSingle {
    Q_OBJECT
public:
    explicit TdmQldi05(QObject* owner = nullptr);

    // Persistent fields of cdsMain, in order.
    TField* cdsMainMB001 = nullptr;
    TField* cdsMainMB001C = nullptr;
    TField* cdsMainMB002 = nullptr;
    TField* cdsMainMB004 = nullptr;
    TField* cdsMainMB005 = nullptr;
    TField* cdsMainCOMPANY = nullptr;
    TField* cdsMainCREATOR = nullptr;
    TField* cdsMainUSR_GROUP = nullptr;
    TField* cdsMainCREATE_DATE = nullptr;
    TField* cdsMainMODIFIER = nullptr;
    TField* cdsMainMODI_DATE = nullptr;
    TField* cdsMainFLAG = nullptr;
    TField* cdsMainMB003 = nullptr;

    // Grid editors of cdsMain: "FIELD;CustomEdit;control".
    QStringList MainControlType;
};

} // namespace kvx
