#pragma once

#include <QString>

// The product's name, version and the maker's web pages.
class AppInfo
{
public:
    // The product's display name (translatable in the context QObject).
    static QString displayName();
    // The version shown in the About box.
    static constexpr const char* version = "3.1.39";
    static QString homePage();
    static QString helpPage();
    static QString supportPage();
    // The tutorial behind "How to?" of the storage warning at start-up.
    static QString storageHowToPage();
};
