#pragma once

#include <QString>

// The simulated phone a run works on: its folder below SIMDEVICE_ROOT, which moves out
// when the phone is unplugged. The tool then fails, as the real one fails when its phone
// leaves, and never writes a folder where the phone was.
class PhoneLink
{
public:
    // Throws ToolError when no such phone is plugged in.
    explicit PhoneLink(const QString& deviceFolder);
    ~PhoneLink();
    PhoneLink(const PhoneLink&) = delete;
    PhoneLink& operator=(const PhoneLink&) = delete;

    const QString& folder() const { return m_folder; }
    // Throws ToolError once the phone has left.
    void check() const;
    // The phone's fs/ through the descriptor held on it: it follows the folder wherever
    // it moves, so nothing written through it can re-create a departed phone's folder.
    QString heldFiles() const;

private:
    QString m_folder;
    int m_files = -1;
};
