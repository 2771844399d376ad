#!/usr/bin/env python3
"""Writes the analyser's four known-file tables as C++ source under detection/tables/:

  A  sizes of known parasite files           ParasiteSizes.cpp   kParasiteSizes16, kParasiteSizes32
  B  checksums of known parasite files       ParasiteHashes.cpp  kParasiteHashes
  C  sizes of known-good running modules     GoodSizes.cpp       kGoodSizes16, kGoodSizes32
  D  checksums of known-good running modules GoodHashes.cpp      kGoodHashes1, kGoodHashes2, kGoodHashes3

with their declarations in KnownFileTables.h. A table's values up to 32767 go into its 16-bit array and
the rest into its 32-bit array(s), each ascending, so a table is its arrays read one after the other.

The values are stand-ins, not a catalogue of real files: they are drawn from a fixed seed around the
values and properties the program relies on (counts, first and last values, run seams, the sizes that A
and C share, the mix of multiples of 512 and 4096 and of odd sizes, the spread of the checksums). The
script checks every one of those properties on what it drew and writes nothing at all when one fails.
Plain Python, no outside input; the same run always gives the same files. The files are committed, so
the build needs no Python; run this again only to change the tables:  python3 tools/make_tables.py
"""
import os
import random
import sys

SEED = 0x57444C  # fixed: the same files on every run

SHORT_MAX = 32767        # largest value held as a 16-bit item
TOP = 1 << 31            # every value is below this
MIB = 1 << 20
EIGHTH = TOP // 8        # the checksum range split into eight equal parts

# Table A: sizes of known parasite files.
A = dict(name='A (parasite sizes)', count=261, short=80,
         first=[2048, 2560, 2645, 3072, 4096, 5120, 5632, 6144],
         last=[581632, 587776, 616448, 635392, 637440, 668160],
         last_short=31232, first_long=32892,
         mult512=97, mult4096=None, odd=78, above_mib=0)

# Table C: sizes of known-good running modules.
C = dict(name='C (good sizes)', count=733, short=98,
         first=[2295, 2397, 2858, 3584, 4096, 4272, 4608, 5120],
         last=[3784704, 3792896, 4657152, 5324560, 6369280, 8470528, 12598440, 13244072],
         last_short=31744, first_long=32768,
         mult512=361, mult4096=169, odd=153, above_mib=65,
         holds=[2295, 31744, 32768, 5324560, 13244072], lacks=[2294, 32767])

# The sizes that A and C share: all multiples of 512 within these bounds.
SHARED_COUNT = 59
SHARED_LOW, SHARED_HIGH = 4096, 286720
SHARED_HOLDS = [4096, 5120, 16384, 65536, 286720]
SHARED_MULT4096 = 21     # how many of the shared sizes are multiples of 4096 (a free choice)
SHARED_SHORT = 24        # how many of them are 16-bit values (a free choice)

# Table B: checksums of known parasite files.
B = dict(name='B (parasite checksums)', count=385,
         first=[522891, 4116460, 11757499, 12649235, 13084053, 14144318],
         last=[2104844698, 2107839065, 2109057513, 2138506532, 2144776197, 2147235512])

# Table D: checksums of known-good running modules, in three runs: (count, first value, last value).
D_RUNS = [(600, 228221, 799120638), (600, 800080493, 1607827241), (375, 1610894657, 2147483647)]
D_NAME = 'D (good checksums)'
D_PER_EIGHTH = (180, 205)


class Refused(Exception):
    pass


def kind(v):
    """A size's kind: a multiple of 4096, of 512 only, odd, or any other even size."""
    if v % 4096 == 0:
        return 'm4096'
    if v % 512 == 0:
        return 'm512'
    return 'odd' if v % 2 else 'even'


def fits(k, v):
    """Whether v belongs to kind k, where 'any512' is any multiple of 512."""
    return v % 512 == 0 if k == 'any512' else kind(v) == k


def draw_size(rng, k, lo, hi):
    """A size of kind k strictly between lo and hi, spread about evenly over the powers of two (as file
    sizes are), using integer arithmetic only so that every platform draws the same."""
    octave = rng.randrange((lo + 1).bit_length(), (hi - 1).bit_length() + 1)
    v = rng.randrange(1 << (octave - 1), 1 << octave)
    if k in ('m4096', 'm512', 'any512'):
        v -= v % (4096 if k == 'm4096' else 512)
        if k == 'm512' and v % 4096 == 0:
            v += 512 * rng.choice((-1, 1))
    else:
        v -= v % 2
        if k == 'odd':
            v += 1
        elif v % 512 == 0:
            v += 2 * rng.choice((-1, 1))
    return v if lo < v < hi else None


def room(k, lo, hi, taken):
    """How many sizes of kind k lie strictly between lo and hi and are not taken yet (kinds that are not
    multiples of 512 count as plenty)."""
    if k not in ('m4096', 'm512', 'any512'):
        return hi - lo
    step = 4096 if k == 'm4096' else 512
    grid = [v for v in range((lo // step + 1) * step, hi, step) if fits(k, v)]
    return sum(1 for v in grid if v not in taken)


def fill_sizes(rng, regions, kinds, taken, forbidden):
    """Draws sizes into each region (lo, hi, how many) with exactly kinds[k] sizes of each kind overall,
    none in taken (updated) or forbidden. A kind stops being drawn in a region once half of its free
    places there are used, so small ranges keep a natural mix; the last region takes what is left."""
    left = dict(kinds)
    for index, (lo, hi, count) in enumerate(regions):
        last = index == len(regions) - 1
        limit = {k: (room(k, lo, hi, taken | forbidden) + 1) // 2 for k in left}
        used = {k: 0 for k in left}
        for _ in range(count):
            choices = [k for k in sorted(left) if left[k] > 0 and (last or used[k] < limit[k])]
            if not choices:
                raise Refused(f'no kind of size left to draw between {lo} and {hi}')
            k = rng.choices(choices, weights=[left[c] for c in choices])[0]
            for _attempt in range(100000):
                v = draw_size(rng, k, lo, hi)
                if v is not None and v not in taken and v not in forbidden:
                    break
            else:
                raise Refused(f'no free {k} size left between {lo} and {hi}')
            taken.add(v)
            left[k] -= 1
            used[k] += 1
    if any(left.values()):
        raise Refused(f'sizes left undrawn: {left}')


def make_shared(rng):
    """The sizes that A and C share: multiples of 512 from SHARED_LOW to SHARED_HIGH. Besides the ones
    named, none falls among either table's first values or between A's last 16-bit and first 32-bit
    value (where C's seam lies too)."""
    shared = set(SHARED_HOLDS)
    need4096 = SHARED_MULT4096 - sum(1 for v in shared if v % 4096 == 0)
    need512 = SHARED_COUNT - len(shared) - need4096
    short = SHARED_SHORT - sum(1 for v in shared if v <= SHORT_MAX)
    fill_sizes(rng, [(A['first'][-1], A['last_short'], short),
                     (A['first_long'], SHARED_HIGH, need4096 + need512 - short)],
               {'m4096': need4096, 'm512': need512}, shared, set())
    return shared


def size_table(rng, spec, shared, forbidden, kinds, regions):
    """One size table: its fixed values, the shared sizes and sizes drawn into the regions."""
    taken = set(spec['first']) | set(spec['last']) | {spec['last_short'], spec['first_long']} | shared
    taken |= set(spec.get('holds', []))
    # Each region's count: the values the table must hold there, less the fixed ones already in it.
    regions = [(lo, hi, n - sum(1 for v in taken if lo < v < hi)) for lo, hi, n in regions]
    fixed = {k: sum(1 for v in taken if fits(k, v)) for k in kinds}
    fill_sizes(rng, regions, {k: kinds[k] - fixed[k] for k in kinds}, taken, forbidden - shared)
    return sorted(taken)


def make_sizes(rng):
    shared = make_shared(rng)
    a_fixed = set(A['first']) | set(A['last']) | {A['last_short'], A['first_long']}
    c_fixed = set(C['first']) | set(C['last']) | {C['last_short'], C['first_long']} | set(C['holds'])
    # A's regions: the 16-bit values after its first ones, the 32-bit values before its last ones.
    short_free = A['short'] - len(A['first']) - 1
    long_free = A['count'] - A['short'] - 1 - len(A['last'])
    a = size_table(rng, A, shared, c_fixed,
                   {'any512': A['mult512'], 'odd': A['odd'], 'even': A['count'] - A['mult512'] - A['odd']},
                   [(A['first'][-1], A['last_short'], short_free),
                    (A['first_long'], A['last'][0], long_free)])
    # C's regions: 16-bit, 32-bit up to 1 MiB, above 1 MiB before its last ones.
    short_free = C['short'] - len(C['first']) - 1
    big_free = C['above_mib'] - len(C['last'])
    mid_free = C['count'] - C['short'] - 1 - C['above_mib']
    c = size_table(rng, C, shared, set(a),
                   {'m4096': C['mult4096'], 'm512': C['mult512'] - C['mult4096'], 'odd': C['odd'],
                    'even': C['count'] - C['mult512'] - C['odd']},
                   [(C['first'][-1], C['last_short'], short_free),
                    (MIB, C['last'][0], big_free),
                    (C['first_long'], MIB, mid_free)])
    return a, c


def spread(rng, count, lo, hi, avoid):
    """count checksums strictly between lo and hi, one drawn in each of count equal slices of that
    range, so that they spread evenly; none in avoid."""
    width = (hi - lo - 1) // count
    if width < 2:
        raise Refused(f'no room for {count} checksums between {lo} and {hi}')
    out = []
    for i in range(count):
        start = lo + 1 + i * width
        for _attempt in range(1000):
            v = rng.randrange(start, start + width)
            if v not in avoid:
                break
        else:
            raise Refused(f'no free checksum from {start}')
        out.append(v)
    return out


def make_hashes(rng):
    b = B['first'] + spread(rng, B['count'] - len(B['first']) - len(B['last']),
                            B['first'][-1], B['last'][0], set()) + B['last']
    avoid = set(b)
    runs = []
    for count, first, last in D_RUNS:
        runs.append([first] + spread(rng, count - 2, first, last, avoid) + [last])
    return b, runs


# ----- checks: every property the program relies on, on the values as they would be written -----

def check_values(problems, name, values, count):
    if len(values) != count:
        problems.append(f'{name}: {len(values)} values, must be {count}')
    if any(b <= a for a, b in zip(values, values[1:])):
        problems.append(f'{name}: values not strictly ascending and distinct')
    if values and not (0 < values[0] and values[-1] < TOP):
        problems.append(f'{name}: values must be above 0 and below 2^31')


def check_ends(problems, name, values, first, last):
    if values[:len(first)] != first:
        problems.append(f'{name}: first values {values[:len(first)]}, must be {first}')
    if values[-len(last):] != last:
        problems.append(f'{name}: last values {values[-len(last):]}, must be {last}')


def check_size_table(problems, spec, values):
    name = spec['name']
    check_values(problems, name, values, spec['count'])
    check_ends(problems, name, values, spec['first'], spec['last'])
    short = [v for v in values if v <= SHORT_MAX]
    if len(short) != spec['short']:
        problems.append(f"{name}: {len(short)} 16-bit values, must be {spec['short']}")
    if not short or short[-1] != spec['last_short'] or len(values) <= len(short) \
            or values[len(short)] != spec['first_long']:
        problems.append(f"{name}: the 16-bit values must end at {spec['last_short']} and the 32-bit ones "
                        f"start at {spec['first_long']}")
    counted = [('multiples of 512', lambda v: v % 512 == 0, spec['mult512']),
               ('multiples of 4096', lambda v: v % 4096 == 0, spec['mult4096']),
               ('odd values', lambda v: v % 2 == 1, spec['odd']),
               ('values above 1 MiB', lambda v: v > MIB, spec['above_mib'])]
    for what, test, expected in counted:
        n = sum(1 for v in values if test(v))
        if expected is not None and n != expected:
            problems.append(f'{name}: {n} {what}, must be {expected}')
    for v in spec.get('holds', []):
        if v not in values:
            problems.append(f'{name}: must hold {v}')
    for v in spec.get('lacks', []):
        if v in values:
            problems.append(f'{name}: must not hold {v}')


def check(a, b, c, d_runs):
    problems = []
    check_size_table(problems, A, a)
    if a and a[-1] >= MIB:
        problems.append(f"{A['name']}: every value must be below 1 MiB")
    check_size_table(problems, C, c)

    shared = sorted(set(a) & set(c))
    if len(shared) != SHARED_COUNT:
        problems.append(f'A and C share {len(shared)} sizes, must be {SHARED_COUNT}')
    if any(v % 512 or not SHARED_LOW <= v <= SHARED_HIGH for v in shared):
        problems.append(f'A and C may share only multiples of 512 from {SHARED_LOW} to {SHARED_HIGH}')
    if shared[:1] != [SHARED_LOW] or shared[-1:] != [SHARED_HIGH]:
        problems.append(f'the shared sizes must run from {SHARED_LOW} to {SHARED_HIGH}')
    for v in SHARED_HOLDS:
        if v not in shared:
            problems.append(f'A and C must share {v}')

    check_values(problems, B['name'], b, B['count'])
    check_ends(problems, B['name'], b, B['first'], B['last'])
    d = [v for run in d_runs for v in run]
    check_values(problems, D_NAME, d, sum(n for n, _, _ in D_RUNS))
    for i, (run, (count, first, last)) in enumerate(zip(d_runs, D_RUNS), 1):
        check_values(problems, f'{D_NAME} run {i}', run, count)
        check_ends(problems, f'{D_NAME} run {i}', run, [first], [last])
    for name, values in ((B['name'], b), (D_NAME, d)):
        if any(v <= SHORT_MAX for v in values):
            problems.append(f'{name}: every checksum must be a 32-bit value (above {SHORT_MAX})')
    common = set(b) & set(d)
    if common:
        problems.append(f'B and D must share no checksum, they share {sorted(common)[:5]}')
    for part in range(8):
        n = sum(1 for v in d if v // EIGHTH == part)
        if not D_PER_EIGHTH[0] <= n <= D_PER_EIGHTH[1]:
            problems.append(f'{D_NAME}: eighth {part} of the range holds {n} values, '
                            f'must hold {D_PER_EIGHTH[0]} to {D_PER_EIGHTH[1]}')
    return problems


# ----- output -----

HEADER = '''\
#pragma once
#include <array>
#include <cstdint>

// The analyser's four tables of known files, compiled into the program: sizes and 31-bit checksums of
// known parasite files (A, B) and of running modules known to be good (C, D). A size table's values up
// to 32767 are in its 16-bit array and the rest in its 32-bit array; every array is strictly ascending,
// so a table is its arrays read one after the other. All values are above 0 and below 2^31.
// Generated by tools/make_tables.py: do not edit by hand; change the generator and run it again.
namespace tables {{

// A: sizes in bytes of known parasite files, 261 values from 2048 to 668160.
extern const std::array<std::int16_t, {a16}> kParasiteSizes16;
extern const std::array<std::int32_t, {a32}> kParasiteSizes32;

// B: checksums of known parasite files, 385 values; none is also in D.
extern const std::array<std::int32_t, {b}> kParasiteHashes;

// C: sizes in bytes of known-good running modules, 733 values from 2295 to 13244072; 59 are also in A.
extern const std::array<std::int16_t, {c16}> kGoodSizes16;
extern const std::array<std::int32_t, {c32}> kGoodSizes32;

// D: checksums of known-good running modules, 1,575 values in three runs that continue one another,
// from 228221 to 2147483647.
extern const std::array<std::int32_t, {d1}> kGoodHashes1;
extern const std::array<std::int32_t, {d2}> kGoodHashes2;
extern const std::array<std::int32_t, {d3}> kGoodHashes3;

}}  // namespace tables
'''

PER_LINE = 8


def array(ctype, name, values):
    lines = [f'const std::array<std::{ctype}, {len(values)}> {name} = {{']
    for i in range(0, len(values), PER_LINE):
        lines.append('    ' + ' '.join(f'{v},' for v in values[i:i + PER_LINE]))
    lines.append('};')
    return '\n'.join(lines) + '\n'


def source(what, arrays):
    body = '\n'.join(array(*a) for a in arrays)
    return (f'// {what}\n'
            '// Generated by tools/make_tables.py: do not edit by hand; change the generator and run it again.\n'
            '#include "detection/tables/KnownFileTables.h"\n\n'
            'namespace tables {\n\n'
            f'{body}\n'
            '}  // namespace tables\n')


def render(a, b, c, d_runs):
    def split(values):
        return [v for v in values if v <= SHORT_MAX], [v for v in values if v > SHORT_MAX]
    a16, a32 = split(a)
    c16, c32 = split(c)
    header = HEADER.format(a16=len(a16), a32=len(a32), b=len(b), c16=len(c16), c32=len(c32),
                           d1=len(d_runs[0]), d2=len(d_runs[1]), d3=len(d_runs[2]))
    return {
        'KnownFileTables.h': header,
        'ParasiteSizes.cpp': source('Table A: sizes in bytes of known parasite files.',
                                    [('int16_t', 'kParasiteSizes16', a16), ('int32_t', 'kParasiteSizes32', a32)]),
        'ParasiteHashes.cpp': source('Table B: checksums of known parasite files.',
                                     [('int32_t', 'kParasiteHashes', b)]),
        'GoodSizes.cpp': source('Table C: sizes in bytes of known-good running modules.',
                                [('int16_t', 'kGoodSizes16', c16), ('int32_t', 'kGoodSizes32', c32)]),
        'GoodHashes.cpp': source('Table D: checksums of known-good running modules, in three runs.',
                                 [('int32_t', f'kGoodHashes{i}', run) for i, run in enumerate(d_runs, 1)]),
    }


def build():
    """The tables as (a, b, c, d_runs), or Refused."""
    rng = random.Random(SEED)
    a, c = make_sizes(rng)
    b, d_runs = make_hashes(rng)
    return a, b, c, d_runs


def main():
    target = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..',
                                           'detection', 'tables'))
    try:
        tables = build()
    except Refused as e:
        sys.exit(f'make_tables: cannot draw the tables ({e}); nothing written')
    problems = check(*tables)
    if problems:
        sys.exit('make_tables: the tables break these properties, nothing written:\n  ' + '\n  '.join(problems))
    files = render(*tables)
    os.makedirs(target, exist_ok=True)
    for name, text in files.items():
        with open(os.path.join(target, name), 'w', encoding='ascii', newline='\n') as f:
            f.write(text)
    print('wrote', ', '.join(sorted(files)), 'in', target)


if __name__ == '__main__':
    main()
