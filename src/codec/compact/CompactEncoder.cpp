#include "codec/compact/CompactEncoder.h"

#include "codec/compact/CompactCost.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <cstdlib>

namespace zoetra::compact {

namespace {

// Distances the parser tries for copies: neighbours in a row, the rows
// above and below, and the byte periods of common patterns. Positive reach
// back into the frame being built, negative ahead into the old one.
constexpr std::array<int, 19> FixedDistances = {
    1, 2, 3, 4, 6, 12, 24, 36, 48, 96, -1, -2, -3, -7, -12, -24, -36, -48, -96,
};
constexpr int MaxDistances = static_cast<int>(FixedDistances.size()) + 1;

// The parse weighs bits and, when a frame must decode faster, T-states.
constexpr int BitWeight = 64;
constexpr std::array<int, 5> TimeWeights = {0, 2, 8, 32, 128};
// New bit bytes cost 12 T-states per 8 bits; the parse spreads them evenly.
constexpr int NewBitByteShare = cost::NewBitByte * BitWeight / 8;

constexpr int Unreachable = INT_MAX / 2;

// Unchanged stretches this long are never worth covering with literals.
constexpr int LongStretch = 4;

enum State : int { StartState, KeepState, LiteralState, CopyState, StateCount };

constexpr After afterOf(int state)
{
    return static_cast<After>(state);
}

struct GammaTable {
    std::array<std::uint8_t, ScreenSize + 1> bits{};
    std::array<std::int16_t, ScreenSize + 1> tStates{};
    constexpr GammaTable()
    {
        for (int n = 1; n <= ScreenSize; ++n) {
            bits[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(gammaLength(n));
            tStates[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(gammaTStates(n));
        }
    }
};
constexpr GammaTable Gamma;

// The type codes and their reading times as tables, for the hot paths.
struct CodeTable {
    std::array<std::array<TypeCode, 6>, 4> codes{};
    std::array<std::array<int, 6>, 4> tStates{};
    constexpr CodeTable()
    {
        for (int b = 0; b < 4; ++b) {
            for (int t = 0; t < 6; ++t) {
                const auto before = static_cast<After>(b);
                const auto type = static_cast<Command>(t);
                codes[static_cast<std::size_t>(b)][static_cast<std::size_t>(t)] = typeCode(before, type);
                tStates[static_cast<std::size_t>(b)][static_cast<std::size_t>(t)] = typeCodeTStates(before, type);
            }
        }
    }
};
constexpr CodeTable Codes;

TypeCode codeOf(After before, Command type)
{
    return Codes.codes[static_cast<std::size_t>(before)][static_cast<std::size_t>(type)];
}
int codeTime(After before, Command type)
{
    return Codes.tStates[static_cast<std::size_t>(before)][static_cast<std::size_t>(type)];
}

int gammaBits(int n)
{
    return Gamma.bits[static_cast<std::size_t>(n)];
}
int gammaTime(int n)
{
    return Gamma.tStates[static_cast<std::size_t>(n)];
}

// One shortest-path node: the cheapest way found to have built bytes 0..p-1
// with the last command of a given kind.
struct Node {
    int cost;
    std::int16_t from;      // where the last command started
    std::int8_t fromState;  // the state before it
    Command type;
    std::int16_t length;
    std::int8_t distance;      // for copies: index into the distances
    std::int8_t lastDistance;  // the repeat distance after this command
};

struct Parser {
    // Per frame.
    std::array<int, MaxDistances> distances{};
    int distanceCount = 0;
    std::array<std::uint16_t, ScreenSize + 1> keep{};
    const Screen* screen = nullptr;
    const Screen* previous = nullptr;
    // The last match length worked out for each distance, and where: a
    // match at p that is r long is r - 1 long at p + 1.
    std::array<int, MaxDistances> matchStart{};
    std::array<int, MaxDistances> matchLength{};
    std::array<std::array<Node, StateCount>, ScreenSize + 1> nodes{};
    // Beside the cheapest literal run at each position, a longer one that
    // costs a little more (see parse).
    std::array<Node, ScreenSize + 1> longRun{};
    // Positions that some command reaches: only they are visited, and only
    // their nodes are reset.
    std::array<std::uint64_t, (ScreenSize + 64) / 64> active{};
    // Costs of the current weighing.
    int timeWeight = 0;
    std::array<std::array<int, 6>, StateCount> codeCost{};

    void touch(int p)
    {
        std::uint64_t& word = active[static_cast<std::size_t>(p >> 6)];
        const std::uint64_t bit = std::uint64_t{1} << (p & 63);
        if ((word & bit) == 0) {
            word |= bit;
            for (auto& n : nodes[static_cast<std::size_t>(p)]) {
                n.cost = Unreachable;
            }
            longRun[static_cast<std::size_t>(p)].cost = Unreachable;
        }
    }

    // The first position from p on that a command reaches, or past the end.
    int nextActive(int p) const
    {
        for (auto w = static_cast<std::size_t>(p >> 6); w < active.size(); ++w) {
            std::uint64_t word = active[w];
            if (w == static_cast<std::size_t>(p >> 6)) {
                word &= ~std::uint64_t{0} << (p & 63);
            }
            if (word != 0) {
                return static_cast<int>(w * 64) + std::countr_zero(word);
            }
        }
        return ScreenSize + 1;
    }

    // Whether byte p matches its source at distance k.
    bool matches(int k, int p) const
    {
        const int d = distances[static_cast<std::size_t>(k)];
        const int source = p - d;
        if (d > 0) {
            return source >= 0 && (*screen)[static_cast<std::size_t>(p)] == (*screen)[static_cast<std::size_t>(source)];
        }
        return source < ScreenSize && (*screen)[static_cast<std::size_t>(p)] == (*previous)[static_cast<std::size_t>(source)];
    }

    // How many bytes from p on a copy at distance k would get right. Back,
    // the source is the frame being built (the copy may overlap itself);
    // ahead, the old frame, which the copy reads before overwriting it.
    int matchLengthAt(int k, int p)
    {
        const auto i = static_cast<std::size_t>(k);
        if (matchStart[i] <= p && p < matchStart[i] + matchLength[i]) {
            return matchLength[i] - (p - matchStart[i]);
        }
        int n = 0;
        while (p + n < ScreenSize && matches(k, p + n)) {
            ++n;
        }
        matchStart[i] = p;
        matchLength[i] = n;
        return n;
    }

    int weigh(int bits, int tStates) const
    {
        return bits * BitWeight + (timeWeight == 0 ? 0 : timeWeight * tStates + bits * NewBitByteShare);
    }

    // The parse, a position at a time (CompactEncoder::parse): the start
    // node, then from each position the commands that start or go on
    // there, then the cheapest end.
    void start(int lastDistance);
    void step(int p);
    struct End {
        int at;
        int state;
    };
    End cheapestEnd() const;

private:
    // What a literal run's length code may grow by: a longer run within
    // this of the cheapest is followed as well (see literals).
    int runSlack = 0;

    void relax(int to, int state, int c, const Node& node);
    int code(int state, Command type) const
    {
        return codeCost[static_cast<std::size_t>(state)][static_cast<std::size_t>(type)];
    }
    int lengthCost(Command type, int n) const;
    Node extendRun(const Node& run, int by) const;
    void literals(int p);
    void keeps(int p);
    void copyGoesOn(int p);
    void newCopies(int p);
};

}  // namespace

struct CompactEncoder::Parser : compact::Parser {};

CompactEncoder::CompactEncoder() : parser_(std::make_unique<Parser>())
{
    reset();
}

CompactEncoder::~CompactEncoder() = default;
CompactEncoder::CompactEncoder(CompactEncoder&&) noexcept = default;
CompactEncoder& CompactEncoder::operator=(CompactEncoder&&) noexcept = default;

void CompactEncoder::reset()
{
    out_.clear();
    out_.reserve(32768);
    bitByte_ = 0;
    bitsLeft_ = 0;
    newBitBytes_ = 0;
    previous_.fill(0);
    keyFrame_ = true;
    lastDistance_ = InitialDistance;
    firstChanged_ = 0;
    lastTStates_ = 0;
    lastSegments_ = 0;
    sizeBeforeEnd_ = -1;
    steps_.clear();
}

void CompactEncoder::putBit(int bit)
{
    if (bitsLeft_ == 0) {
        bitByte_ = out_.size();
        out_.push_back(0);
        bitsLeft_ = 8;
        ++newBitBytes_;
    }
    --bitsLeft_;
    if (bit != 0) {
        out_[bitByte_] = static_cast<std::uint8_t>(out_[bitByte_] | (1u << bitsLeft_));
    }
}

void CompactEncoder::putBits(unsigned bits, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        putBit(static_cast<int>((bits >> i) & 1u));
    }
}

void CompactEncoder::putGamma(int n)
{
    for (int i = gammaDataBits(n) - 1; i >= 0; --i) {
        putBit(0);
        putBit((n >> i) & 1);
    }
    putBit(1);
}

int CompactEncoder::emitCode(After before, Command type)
{
    const TypeCode code = codeOf(before, type);
    putBits(code.bits, code.length);
    return codeTime(before, type);
}

CompactEncoder::WriterState CompactEncoder::saveWriter() const
{
    return {out_.size(), bitByte_, bitsLeft_, bitsLeft_ > 0 ? out_[bitByte_] : std::uint8_t{0}};
}

void CompactEncoder::restoreWriter(const WriterState& state)
{
    out_.resize(state.size);
    bitByte_ = state.bitByte;
    bitsLeft_ = state.bitsLeft;
    if (bitsLeft_ > 0) {
        out_[bitByte_] = state.bitByteValue;
    }
}

namespace {

void prepare(Parser& P, const Screen& screen, const Screen& previous, bool keyFrame, int lastDistance)
{
    P.distanceCount = 0;
    for (const int d : FixedDistances) {
        if (d > 0 || !keyFrame) {
            P.distances[static_cast<std::size_t>(P.distanceCount++)] = d;
        }
    }
    if (std::find(P.distances.begin(), P.distances.begin() + P.distanceCount, lastDistance) ==
        P.distances.begin() + P.distanceCount) {
        P.distances[static_cast<std::size_t>(P.distanceCount++)] = lastDistance;
    }

    auto& keep = P.keep;
    if (keyFrame) {
        keep.fill(0);
    } else {
        // Eight bytes at a time: most of a frame is usually unchanged.
        keep[ScreenSize] = 0;
        for (int p = ScreenSize; p > 0; p -= 8) {
            std::uint64_t a = 0;
            std::uint64_t b = 0;
            std::memcpy(&a, screen.data() + p - 8, 8);
            std::memcpy(&b, previous.data() + p - 8, 8);
            const auto i = static_cast<std::size_t>(p);
            if (a == b) {
                for (std::size_t k = 1; k <= 8; ++k) {
                    keep[i - k] = static_cast<std::uint16_t>(keep[i] + k);
                }
                continue;
            }
            for (std::size_t k = 1; k <= 8; ++k) {
                keep[i - k] = screen[i - k] == previous[i - k] ? static_cast<std::uint16_t>(keep[i - k + 1] + 1) : 0;
            }
        }
    }

    P.screen = &screen;
    P.previous = &previous;
    P.matchStart.fill(ScreenSize);
    P.matchLength.fill(0);
}

void setWeights(Parser& P, int timeWeight)
{
    P.timeWeight = timeWeight;
    for (int s = 0; s < StateCount; ++s) {
        for (int t = 0; t < 6; ++t) {
            const auto type = static_cast<Command>(t);
            const TypeCode code = typeCode(afterOf(s), type);
            P.codeCost[static_cast<std::size_t>(s)][static_cast<std::size_t>(t)] =
                code.length == 0 ? Unreachable : P.weigh(code.length, typeCodeTStates(afterOf(s), type));
        }
    }
}

int copyBodyTime(int length)
{
    return gammaTime(length) + cost::CopyBody + cost::LdirPerByte * length - cost::LdirLess;
}

int distanceTime(int d)
{
    return gammaTime(std::abs(d)) + cost::Bit + (d > 0 ? cost::DistanceBack : cost::DistanceAhead);
}

}  // namespace

namespace {

void Parser::relax(int to, int state, int c, const Node& node)
{
    touch(to);
    Node& target = nodes[static_cast<std::size_t>(to)][static_cast<std::size_t>(state)];
    if (c < target.cost) {
        target = node;
        target.cost = c;
    }
}

int Parser::lengthCost(Command type, int n) const
{
    switch (type) {
    case Command::Keep:
        return weigh(gammaBits(n), gammaTime(n) + cost::KeepBody);
    case Command::Literal:
        return weigh(gammaBits(n) + 8 * n, gammaTime(n) + cost::LdirPerByte * n - cost::LdirLess);
    default:
        return weigh(gammaBits(n), copyBodyTime(n));
    }
}

Node Parser::extendRun(const Node& run, int by) const
{
    Node next = run;
    next.length = static_cast<std::int16_t>(run.length + by);
    next.cost = run.cost - lengthCost(Command::Literal, run.length) + lengthCost(Command::Literal, next.length);
    return next;
}

void Parser::start(int lastDistance)
{
    active.fill(0);
    touch(0);
    int lastIndex = 0;
    for (int k = 0; k < distanceCount; ++k) {
        if (distances[static_cast<std::size_t>(k)] == lastDistance) {
            lastIndex = k;
        }
    }
    nodes[0][StartState] = {0, -1, -1, Command::End, 0, -1, static_cast<std::int8_t>(lastIndex)};
    runSlack = weigh(gammaBits(ScreenSize), gammaTime(ScreenSize));
}

void Parser::step(int p)
{
    literals(p);
    keeps(p);
    copyGoesOn(p);
    // New copies start only on a changed byte: over an unchanged one a
    // keep is as good.
    if (keep[static_cast<std::size_t>(p)] == 0) {
        newCopies(p);
    }
}

// Literal runs. The cheapest run reaching a position may have started late,
// its length code still short; a run that started earlier and costs a
// little more there can still win, as its code grows slower. So a second,
// longer run is followed as long as it stays within what a length code can
// grow.
//
// Over a stretch of unchanged bytes a literal run either goes on to its end
// or gives way to a keep: a keep after some of the literal bytes costs more
// than one from here. So long stretches are crossed in one step, and no
// literal starts on them.
void Parser::literals(int p)
{
    const auto& here = nodes[static_cast<std::size_t>(p)];
    const int keepHere = keep[static_cast<std::size_t>(p)];
    const bool stretch = keepHere >= LongStretch;
    Node& longest = longRun[static_cast<std::size_t>(p)];
    {
        const Node& cheapest = here[LiteralState];
        if (longest.cost >= Unreachable || longest.cost > cheapest.cost + runSlack || longest.length <= cheapest.length) {
            longest = cheapest;
        }
    }
    if (!stretch) {
        for (const int s : {StartState, KeepState, CopyState}) {
            const Node& from = here[static_cast<std::size_t>(s)];
            if (from.cost < Unreachable) {
                relax(p + 1, LiteralState, from.cost + code(s, Command::Literal) + lengthCost(Command::Literal, 1),
                      {0, static_cast<std::int16_t>(p), static_cast<std::int8_t>(s), Command::Literal, 1, -1,
                       from.lastDistance});
            }
        }
    }
    const int stride = stretch ? keepHere : 1;
    if (const Node& run = here[LiteralState]; run.cost < Unreachable) {
        const Node next = extendRun(run, stride);
        relax(p + stride, LiteralState, next.cost, next);
    }
    if (longest.cost < Unreachable) {
        const Node next = extendRun(longest, stride);
        relax(p + stride, LiteralState, next.cost, next);
        Node& kept = longRun[static_cast<std::size_t>(p + stride)];
        if (kept.cost >= Unreachable || next.length > kept.length) {
            kept = next;
        }
    }
}

// A keep over the unchanged bytes from here.
void Parser::keeps(int p)
{
    const auto& here = nodes[static_cast<std::size_t>(p)];
    const int keepHere = keep[static_cast<std::size_t>(p)];
    if (keepHere == 0) {
        return;
    }
    for (const int s : {StartState, LiteralState, CopyState}) {
        const Node& from = here[static_cast<std::size_t>(s)];
        if (from.cost < Unreachable) {
            relax(p + keepHere, KeepState, from.cost + code(s, Command::Keep) + lengthCost(Command::Keep, keepHere),
                  {0, static_cast<std::int16_t>(p), static_cast<std::int8_t>(s), Command::Keep,
                   static_cast<std::int16_t>(keepHere), -1, from.lastDistance});
        }
    }
}

// The copy in progress goes on. Over a long unchanged stretch it goes as far
// as it matches there in one step: ending it inside the stretch gains a bit
// at most.
void Parser::copyGoesOn(int p)
{
    const Node& copy = nodes[static_cast<std::size_t>(p)][CopyState];
    if (copy.cost >= Unreachable || !matches(copy.distance, p)) {
        return;
    }
    const int keepHere = keep[static_cast<std::size_t>(p)];
    const int by = keepHere >= LongStretch ? std::min(keepHere, matchLengthAt(copy.distance, p)) : 1;
    Node next = copy;
    next.length = static_cast<std::int16_t>(copy.length + by);
    relax(p + by, CopyState, copy.cost - lengthCost(Command::Copy, copy.length) + lengthCost(Command::Copy, next.length),
          next);
}

// Repeats of the last distance, then copies at each distance, one byte long
// and as long as they match.
void Parser::newCopies(int p)
{
    const auto& here = nodes[static_cast<std::size_t>(p)];
    for (const int s : {StartState, KeepState, LiteralState}) {
        const Node& from = here[static_cast<std::size_t>(s)];
        if (from.cost >= Unreachable) {
            continue;
        }
        if (!matches(from.lastDistance, p)) {
            continue;
        }
        const int m = matchLengthAt(from.lastDistance, p);
        const int base = from.cost + code(s, Command::Repeat);
        const Node step{0, static_cast<std::int16_t>(p), static_cast<std::int8_t>(s), Command::Repeat, 1,
                        from.lastDistance, from.lastDistance};
        relax(p + 1, CopyState, base + lengthCost(Command::Repeat, 1), step);
        if (m > 1) {
            Node whole = step;
            whole.length = static_cast<std::int16_t>(m);
            relax(p + m, CopyState, base + lengthCost(Command::Repeat, m), whole);
        }
    }
    int best = Unreachable;
    int bestState = 0;
    for (int s = 0; s < StateCount; ++s) {
        const Node& from = here[static_cast<std::size_t>(s)];
        if (from.cost < Unreachable && from.cost + code(s, Command::Copy) < best) {
            best = from.cost + code(s, Command::Copy);
            bestState = s;
        }
    }
    if (best >= Unreachable) {
        return;
    }
    for (int k = 0; k < distanceCount; ++k) {
        if (!matches(k, p)) {
            continue;
        }
        const int m = matchLengthAt(k, p);
        const int d = distances[static_cast<std::size_t>(k)];
        const int base = best + weigh(gammaBits(std::abs(d)) + 1, distanceTime(d));
        const Node step{0, static_cast<std::int16_t>(p), static_cast<std::int8_t>(bestState), Command::Copy, 1,
                        static_cast<std::int8_t>(k), static_cast<std::int8_t>(k)};
        relax(p + 1, CopyState, base + lengthCost(Command::Copy, 1), step);
        if (m > 1) {
            Node whole = step;
            whole.length = static_cast<std::int16_t>(m);
            relax(p + m, CopyState, base + lengthCost(Command::Copy, m), whole);
        }
    }
}

// The end: from any position after which nothing changes.
Parser::End Parser::cheapestEnd() const
{
    int tail = ScreenSize;
    while (tail > 0 && keep[static_cast<std::size_t>(tail - 1)] > 0) {
        --tail;
    }
    int bestCost = Unreachable;
    End end{ScreenSize, StartState};
    for (int p = nextActive(tail); p <= ScreenSize; p = nextActive(p + 1)) {
        for (const int s : {StartState, LiteralState, CopyState}) {
            const Node& n = nodes[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)];
            if (n.cost < Unreachable && n.cost + code(s, Command::End) < bestCost) {
                bestCost = n.cost + code(s, Command::End);
                end = {p, s};
            }
        }
    }
    return end;
}

}  // namespace

void CompactEncoder::parse(int timeWeight)
{
    compact::Parser& P = *parser_;
    setWeights(P, timeWeight);
    P.start(lastDistance_);
    for (int p = 0; p < ScreenSize; p = P.nextActive(p + 1)) {
        P.step(p);
    }

    // The steps back from the end.
    const Parser::End end = P.cheapestEnd();
    steps_.clear();
    for (int p = end.at, s = end.state; p > 0;) {
        const Node& n = P.nodes[static_cast<std::size_t>(p)][static_cast<std::size_t>(s)];
        const int d = n.distance >= 0 ? P.distances[static_cast<std::size_t>(n.distance)] : 0;
        steps_.push_back({n.type, n.length, static_cast<std::int16_t>(d)});
        p = n.from;
        s = n.fromState;
    }
    std::reverse(steps_.begin(), steps_.end());
}

namespace {

// An upper bound of a command's T-states, for placing pauses before the
// exact count is known: every bit might start a new bit byte's worth.
int stepTimeBound(After before, Command type, int length, int distance)
{
    int bits = codeOf(before, type).length + gammaBits(length);
    int t = codeTime(before, type);
    switch (type) {
    case Command::Keep:
        t += gammaTime(length) + cost::KeepBody;
        break;
    case Command::Literal:
        t += gammaTime(length) + cost::LdirPerByte * length - cost::LdirLess;
        break;
    case Command::Copy:
        bits += gammaLength(std::abs(distance)) + 1;
        t += distanceTime(distance) + copyBodyTime(length);
        break;
    default:
        t += copyBodyTime(length);
        break;
    }
    return t + cost::NewBitByte * (bits / 8 + 1);
}

int endTimeBound(After before)
{
    return codeTime(before, Command::End) + cost::Bit + cost::Pause + 2 * cost::NewBitByte;
}

}  // namespace

bool CompactEncoder::writeSteps(const Screen& screen, bool checkBudget)
{
    After before = After::Start;
    int segmentTime = cost::FrameEntry;
    int total = cost::FrameEntry;
    int segments = 1;
    bool segmentEmpty = true;
    int at = 0;
    int distance = lastDistance_;

    for (std::size_t i = 0; i < steps_.size();) {
        // A keep cannot end a segment, so it goes with the command after it.
        const std::size_t unitEnd = steps_[i].type == Command::Keep && i + 1 < steps_.size() ? i + 2 : i + 1;
        int unitTime = 0;
        After b = before;
        for (std::size_t j = i; j < unitEnd; ++j) {
            unitTime += stepTimeBound(b, steps_[j].type, steps_[j].length, steps_[j].distance);
            b = steps_[j].type == Command::Keep      ? After::Keep
                : steps_[j].type == Command::Literal ? After::Literal
                                                     : After::Copy;
        }
        if (!segmentEmpty && segmentTime + unitTime + endTimeBound(before) > SegmentBudgetTStates) {
            const int fresh = newBitBytes_;
            int t = emitCode(before, Command::End);
            putBit(1);
            t += cost::Bit + cost::Pause + cost::NewBitByte * (newBitBytes_ - fresh);
            total += t;
            before = After::Start;
            segmentTime = 0;
            segmentEmpty = true;
            ++segments;
        }
        for (; i < unitEnd; ++i) {
            const Step& step = steps_[i];
            const int fresh = newBitBytes_;
            int t = emitCode(before, step.type);
            switch (step.type) {
            case Command::Keep:
                putGamma(step.length);
                t += gammaTime(step.length) + cost::KeepBody;
                before = After::Keep;
                break;
            case Command::Literal:
                putGamma(step.length);
                out_.insert(out_.end(), screen.begin() + at, screen.begin() + at + step.length);
                t += gammaTime(step.length) + cost::LdirPerByte * step.length - cost::LdirLess;
                before = After::Literal;
                break;
            case Command::Copy:
                putGamma(std::abs(step.distance));
                putBit(step.distance < 0 ? 1 : 0);
                putGamma(step.length);
                t += distanceTime(step.distance) + copyBodyTime(step.length);
                distance = step.distance;
                before = After::Copy;
                break;
            default:  // repeat
                putGamma(step.length);
                t += copyBodyTime(step.length);
                before = After::Copy;
                break;
            }
            t += cost::NewBitByte * (newBitBytes_ - fresh);
            segmentEmpty = false;
            segmentTime += t;
            total += t;
            at += step.length;
        }
    }
    const int fresh = newBitBytes_;
    int t = emitCode(before, Command::End);
    putBit(0);
    t += cost::Bit + cost::FrameComplete + cost::NewBitByte * (newBitBytes_ - fresh);
    total += t;

    lastTStates_ = total;
    lastSegments_ = segments;
    if (checkBudget && (total > frameBudget_ || segments > MaxSegments)) {
        return false;
    }
    lastDistance_ = distance;
    return true;
}

void CompactEncoder::literalFrame(const Screen& screen)
{
    steps_.clear();
    steps_.push_back({Command::Literal, static_cast<std::int16_t>(ScreenSize), 0});
    writeSteps(screen, false);
}

void CompactEncoder::addFrame(const Screen& screen)
{
    const WriterState start = saveWriter();
    const int bitBytesAtStart = newBitBytes_;
    firstChanged_ = static_cast<int>(bitsLeft_ > 0 ? bitByte_ : out_.size());

    prepare(*parser_, screen, previous_, keyFrame_, lastDistance_);
    bool done = false;
    for (const int weight : TimeWeights) {
        parse(weight);
        if (writeSteps(screen, true)) {
            done = true;
            break;
        }
        restoreWriter(start);
        newBitBytes_ = bitBytesAtStart;
    }
    if (!done) {
        literalFrame(screen);
    }
    previous_ = screen;
    keyFrame_ = false;
}

std::vector<std::uint8_t> CompactEncoder::codeAlone(const Screen& before, const Screen& screen)
{
    reset();
    previous_ = before;
    keyFrame_ = false;
    addFrame(screen);
    return out_;
}

void CompactEncoder::finish()
{
    firstChanged_ = static_cast<int>(bitsLeft_ > 0 ? bitByte_ : out_.size());
    sizeBeforeEnd_ = static_cast<int>(out_.size());
    emitCode(After::Start, Command::VideoEnd);
}

}  // namespace zoetra::compact
