// The pages' fonts and pictures made ready before a page needs them: at
// start-up, within the settle wait, for the language the box starts in;
// and when the language shown changes at run time, for the new one, in
// slices off the keys' path. See docs/pages.md.
#pragma once

namespace pages {

// Decodes and keeps, as pixmap() does, every compiled-in picture of the
// language shown and every one without language variants, so that no
// page's first opening decodes one (about 0.8 MB in one language). Called
// once at start-up; a language chosen later has its pictures decoded by
// warmLanguageShown(). Returns the milliseconds it took.
double warmPictures();

// Measures a line of every language's script at each size, weight and
// width the pages use, once, on the GUI thread, as a fitted text is
// measured: the first text of a script the default family lacks makes Qt
// look for a family that has it and load its face, which would otherwise
// fall to the first opening of a page. The regular fonts are kept, so
// their engines stay loaded for every later opening. The Latin letters,
// which every language's pages use, and those of the script shown, are
// measured too, at each size and width a fitted text tries, so that a
// page's first opening does not load and hint the glyphs of each size it
// tries; and drawn, so that their glyphs are rendered before a page first
// shows them (at every quarter-pixel place at each size, Chinese at whole
// pixels at the sizes the pages draw it). Returns the milliseconds it took.
double warmFonts();

// When the language shown has changed since the last warming (a PC's
// write of the language, the language page), warms its script's letters
// as warmFonts() does and decodes its pictures as warmPictures() does,
// unless that was done before: in slices of a few milliseconds on the GUI
// thread, a frame apart, so that the keys and everything else the event
// loop does are handled between them, and a page opened meanwhile costs
// no more than it would have. The change notifier calls it after every
// refresh of the page shown; nothing when the language shown is warm.
void warmLanguageShown();

// Whether a language's warming (warmLanguageShown) is under way.
bool warmingLanguage();

}  // namespace pages
