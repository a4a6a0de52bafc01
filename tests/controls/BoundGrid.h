// A grid on a shown form, bound to a dataset of 10-character text fields holding the records A01, A02 and
// A03 in its first field, positioned on the first.
#pragma once

#include "controls/FDBGrid.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"

#include <QWidget>
#include <initializer_list>

namespace kvxtest {

struct BoundGrid {
    kvx::TClientDataSet ds;
    kvx::TDataSource src;
    QWidget form;
    kvx::TFDBGrid* grid = new kvx::TFDBGrid(&form);

    explicit BoundGrid(std::initializer_list<const char*> fields = {"MB001"}) {
        for (const char* name : fields)
            ds.FieldDefs().Add(name, kvx::FieldType::String, 10);
        ds.CreateDataSet();
        for (const char* k : {"A01", "A02", "A03"}) {
            ds.Append();
            ds.Fields().value(0)->SetAsString(k);
            ds.Post();
        }
        ds.First();
        src.SetDataSet(&ds);
        grid->setDataSource(&src);
        grid->resize(700, 200);
        form.resize(720, 220);
        form.show();
    }
};

} // namespace kvxtest
