#pragma once

#include <QString>

namespace velmora {

class TiWord;

// Every office step made for a tab starts here: the tab's document becomes the office's active one, and an
// office that does not then report it as active raises an error instead of letting the step act on another
// document (saving it under the tab's name, giving it the tab's password).
void ActivateTabDocument(TiWord& word, const QString& path);

} // namespace velmora
