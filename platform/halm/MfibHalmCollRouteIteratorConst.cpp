#include "halm/MfibHalmCollRouteIteratorConst.h"

#include <utility>

namespace Halm::Multicast::Fib {

MfibHalmCollRouteIteratorConst::MfibHalmCollRouteIteratorConst(Quib::Ptr<MfibHalmColl const> const& coll)
    : tables_(coll ? coll->orderedTables() : std::vector<Quib::Ptr<Status const>>()) {
  if (!done()) route_ = tables_[0]->begin();
  skipExhaustedTables();
}

MfibHalmCollRouteIteratorConst::MfibHalmCollRouteIteratorConst(std::vector<Quib::Ptr<Status const>> tables,
                                                               Status::const_iterator routePosition)
    : tables_(std::move(tables)), route_(routePosition) {
  skipExhaustedTables();
}

IpGenRouteKey const& MfibHalmCollRouteIteratorConst::key() const {
  return done() ? IpGenRouteKey::invalidRouteKey() : *route_;
}

Route MfibHalmCollRouteIteratorConst::route() const { return done() ? Route::emptyRoute() : route_.route(); }

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
