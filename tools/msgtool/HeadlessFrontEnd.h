#pragma once

#include "actions/ActionFrontEnd.h"

// msgtool's side of an action: steps run with a HeadlessReport, questions are
// answered Yes, and what a box would show goes to stderr. The caller turns the action's
// outcome into the subcommand's result.
class HeadlessFrontEnd : public ActionFrontEnd
{
public:
    std::unique_ptr<ActionStep> newStep() override;
    void refuse(const QString& text, const QString& picture = QString()) override;
    void fail(const QString& text) override;
    bool ask(const QString& question) override;
    void inform(const QString& text) override;
    // No password can be typed: an encrypted backup stays locked.
    bool unlock(BackupManifest& manifest) override;
};
