// ProgramRunner: ExecWork. Starts another program of the ERP in this process: the program master names
// its library, which is looked up in the work-library folders of the client configuration
// (StaveloC.ini [WorkDLLPath], else ClientPath/C_PKG/); its controller is driven as the shell drives one
// and stays alive until its window is destroyed.
#pragma once

#include "platform/Variant.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QLibrary;
class TDLLBaseController;

namespace pellan {

// ExecWork result codes.
enum ExecCode {
    kExecOk = 0,
    kExecNoProgram = -1,   // not in the program master, or no library file
    kExecLoadFailed = -2,  // the library does not load or has no GetController
    kExecNoRights = -5,    // the user may not run the program
    kExecStartFailed = -6, // CreateProgram failed
    kExecUnexpected = -7,  // anything else
};

class ProgramRunner {
public:
    // What the server says about a program for a user: ExecCode, library file name, database, reason.
    struct Access {
        int code = kExecNoProgram;
        QString library, database, reason;
    };
    using AccessFn =
        std::function<Access(const QString& user, const QString& company, const QString& program)>;
    // A new work-center object for a started program.
    using WorkCenterFn = std::function<kvx::Variant()>;

    ProgramRunner(AccessFn access, WorkCenterFn workCenter);
    ~ProgramRunner();

    // login: [user, company, program code, window handle]; param: the open parameter (a text or the
    // array SetOpenParam takes); options: [open mode, show kind, mode parameter] where show kind 1 shows
    // the window modally and returns its value in `result`.
    int run(const kvx::Variant& login, const kvx::Variant& param, const kvx::Variant& options,
            kvx::Variant& result);

    // Folders searched for program libraries, each ending with "/".
    static QStringList libraryFolders();
    int runningCount() const;
    // Frees every started program (their windows close).
    void closeAll();
    // The reason of the last failure, for the shell's log and the tests.
    QString lastError() const { return lastError_; }

private:
    struct Running;
    AccessFn access_;
    WorkCenterFn workCenter_;
    std::vector<std::unique_ptr<Running>> running_;
    QString lastError_;

    int fail(int code, const QString& why);
    void reap();
};

} // namespace pellan
