#include "halm/MfibHalmCollRouteIteratorConst.h"

namespace Halm::Multicast::Fib {

MfibHalmCollRouteIteratorConst::MfibHalmCollRouteIteratorConst(Quib::Ptr<MfibHalmColl const> coll)
    : tables_(coll ? coll->orderedTables() : std::vector<Quib::Ptr<Status const>>()) {
  if (!done()) route_ = tables_[0]->begin();
  skipExhaustedTables();
}

MfibHalmCollRouteIteratorConst::MfibHalmCollRouteIteratorConst(Quib::Ptr<MfibHalmColl const> coll,
                                                               std::size_t tablePosition,
                                                               Status::const_iterator routePosition)
    : tables_(coll ? coll->orderedTables() : std::vector<Quib::Ptr<Status const>>()),
      table_(tablePosition),
      route_(routePosition) {
  skipExhaustedTables();
}

IpGenRouteKey const& MfibHalmCollRouteIteratorConst::key() const {
  return done() ? IpGenRouteKey::invalidRouteKey() : *route_;
}

void MfibHalmCollRouteIteratorConst::updateToBestRouteIterators() {
  if (done()) return;
  ++route_;
  skipExhaustedTables();
}

void MfibHalmCollRouteIteratorConst::skipExhaustedTables() {
  while (!done() && route_ == tables_[table_]->end()) {
    if (++table_ < tables_.size()) route_ = tables_[table_]->begin();
  }
}

}  // namespace Halm::Multicast::Fib
