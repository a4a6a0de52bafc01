// Reference and demo data of a new database (run as schema migrations, so only once per database).
#pragma once

namespace kvxsrv {
class Storage;

// Demo company "DEMO", users DS (administrator) and CLERK, groups, rights, programs, system parameters,
// currencies, message catalogue, screen settings and colour rules.
void seedReferenceData(Storage& s);
// The document kinds of the transmission settings (QLDMB) and a few master-file rows.
void seedTransmissionSettings(Storage& s);
// The demo company's screen settings of QLDI05 (replacing an earlier document).
void seedQldi05ScreenSettings(Storage& s);

// Number formats the data modules read: a currency with three money digits, more column widths and the
// number-display settings of the demo users besides DS.
void seedNumberFormats(Storage& s);

// Colour rules of QLDI05 (export, import, no remark) and its user-defined-field rule (R003).
void seedColourAndUdfRules(Storage& s);

// Number of bytes of a text in the database code page (GBK).
int dbByteLength(const char* utf8);
} // namespace kvxsrv
