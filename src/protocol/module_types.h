#pragma once
// The names of the module types that "Read Module Type" answers with: two
// bytes, shown as four hex digits, the first the kind of module and the
// second how many outputs or inputs it has. "0208" is a light module with 8
// outputs ("Light-8"), "0104" a curtain module with 4 ("Curtain-4"), "0301"
// an infrared module ("IR"), "0408" an input module with 8 inputs
// ("Input-8"), "1001" the bus switch ("Bus switch"): the names the modules
// put in their version texts ("Light-8 V1.0").
#include <optional>
#include <string>
#include <string_view>

namespace veltra {

// The name of a type given as four hex digits (either case); nothing for
// text of another shape, a type of no known kind, or more outputs or inputs
// than the command catalogue's requests can name.
std::optional<std::string> ModuleTypeName(std::string_view code);

}  // namespace veltra
