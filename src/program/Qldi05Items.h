// The transmission item list of a QLDMB.MB003 content, as the server service "QLDI06" takes it.
//
// A content holds items separated by "|", each a list of fields separated by "_" (table, description,
// order, head/body, operation, overwrite, batch size, format version, file name, key columns). The list
// keeps fields 1, 2, 9 and 10 of each item, joined by ",", the items joined by ";"; a missing field is
// empty, so every item of the list has exactly four fields. Pure text work, shared by save and by the
// settings initialisation of the transmission settings window.
#pragma once

#include <QString>

namespace kvx {

// "a_b_c_d_e_f_g_h_i_j|k_l" gives "a,b,i,j;k,l,,". Empty items (a doubled or leading "|") are skipped,
// so that a stray separator does not make the server refuse the whole list.
QString TransmissionItemList(const QString& content);

} // namespace kvx
