#pragma once

class IdsTranslator;

// Loads the program's English texts (":/en.qm") into `translator` and installs it for the whole
// application. A failed load fails the calling test function; call it from initTestCase() with a
// translator that lives as long as the suite.
void installEnglishTexts(IdsTranslator& translator);
