// Session: what the work-center objects of one shell share — the connection to the application
// server, the login of a stand-alone start, the programs started with ExecWork and the help window.
#pragma once

#include "HelpViewer.h"
#include "ProgramRunner.h"
#include "ServerLink.h"

#include <memory>

namespace pellan {

struct Login {
    QString user, company, database;
};

class Session {
public:
    explicit Session(std::unique_ptr<ServerLink> link);
    ~Session();

    ServerLink& server() { return *link_; }
    HelpViewer& help() { return help_; }
    ProgramRunner& programs() { return *programs_; }
    Login login;

    // The work center handed to programs started by ExecWork; set by the work center.
    std::function<kvx::Variant()> newWorkCenter;
    // Closes the windows of started programs.
    void closePrograms();
    // "CHS", "CHT" or "ENG" by the client's interface code page.
    static QString language();

private:
    std::unique_ptr<ServerLink> link_;
    HelpViewer help_;
    std::unique_ptr<ProgramRunner> programs_;
};

} // namespace pellan
