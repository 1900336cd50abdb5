#include "entities/MulticastIntfsForApplications.h"

namespace McastCommon {

MulticastIntfsForApplications::MulticastIntfsForApplications(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace McastCommon
