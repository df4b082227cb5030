#pragma once

// The interface languages, by the ids the settings file stores (the source texts are Chinese).
// Plain ints where the ids are passed on, so that a stored id out of this range can be told.
namespace Language {
enum Id : int
{
    Chinese = 0,
    English = 1,
    Russian = 2,
    Last = Russian
};
} // namespace Language
