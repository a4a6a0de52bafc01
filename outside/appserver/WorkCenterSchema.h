// Tables behind the shell's work-center services (counter functions, validator, phrases, documents),
// created by one schema migration of their own.
#pragma once

namespace kvxsrv {
class Storage;

// QLDTB routine-transmission information per item (QLDI06), UDFRL user-defined-field rules,
// KVXPH common phrases per user, KVXDOC documents of the document picker; with demo rows.
void createWorkCenterSchema(Storage& s);
} // namespace kvxsrv
