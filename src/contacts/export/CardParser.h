#pragma once

// Byte-level vCard tokenizer with a small event interface: the caller registers a property handler
// (name and parameters of each content line) and a data handler (the decoded value), then feeds
// bytes. It reads group-prefixed names, parameters with and without values, folded lines and
// quoted-printable and base64 values; it checks no version and knows no property names.
//
// Hostile input is bounded: a line (name, parameters or decoded value) longer than
// CARD_MAX_LINE bytes or with more than CARD_MAX_PARAMS parameters stops the tokenizer, and
// every loop consumes input.

#define CARD_MAX_LINE (16 * 1024 * 1024)
#define CARD_MAX_PARAMS 256

struct CARD_Parser;

// Called with the user data, the property name and a flat array name, value, name, value, ...
// ending with two null pointers (a value is null when the parameter has no "="). The strings are
// valid only during the call.
typedef void (*CARD_PropHandler)(void* userData, const char* name, const char** params);
// Called once per property with the whole decoded value when it is not empty, then with
// (null, 0) as the end mark of the property.
typedef void (*CARD_DataHandler)(void* userData, const char* data, int len);

const char* CARD_ParserVersion();
// A new tokenizer, or null when memory runs out.
CARD_Parser* CARD_ParserCreate();
void CARD_ParserFree(CARD_Parser* parser);
void CARD_SetUserData(CARD_Parser* parser, void* userData);
void* CARD_GetUserData(CARD_Parser* parser);
void CARD_SetPropHandler(CARD_Parser* parser, CARD_PropHandler handler);
void CARD_SetDataHandler(CARD_Parser* parser, CARD_DataHandler handler);
// Feeds bytes; -1 when all were taken, 0 as soon as the input is malformed (nothing more is
// read). With final set and no failure, a last line without line break is completed.
int CARD_Parse(CARD_Parser* parser, const char* data, int len, int final);
