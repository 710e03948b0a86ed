#pragma once

#include <QString>

// Addresses of the user guide and the support page, opened from the Help menu.
// One table for the whole process, created on first use.
class WebPages {
public:
    static WebPages& instance();

    // Sets every entry back to its built-in address.
    void refresh();

    QString guide() const { return guideUrl; }
    // Two entries with the same address: one behind "About", one behind "Support".
    QString support() const { return supportUrl; }
    QString supportSecond() const { return supportSecondUrl; }

    // Built-in addresses: the build-time settings, or else the guide shipped
    // beside the player (and its support section) as local file URLs.
    static QString builtInGuide();
    static QString builtInSupport();

private:
    WebPages();

    QString guideUrl;
    QString supportUrl;
    QString supportSecondUrl;
};
