"""Pickling and copying: a loaded object behaves as the original, bit for bit; the
objects that exist once load as themselves; a pickle this version cannot read is
refused, never misread."""

import copy
import math
import pickle
import subprocess
import sys

import pytest

import vorel
from entry_points import (ACT_365, ENTRIES, OBSERVE, PICKLED, SINGLETONS, VALUED, check_raised, frame, option,
                          outcome, valuation)
from vorel import OptionType, VolSurface

PROTOCOLS = [0, 2, pickle.HIGHEST_PROTOCOL]


def round_trip(obj, protocol=pickle.HIGHEST_PROTOCOL):
    return pickle.loads(pickle.dumps(obj, protocol))


def seen(entry, receiver):
    """What a call on `receiver` shows: vorel values by their pickled state, the receiver by what it then prices."""
    try:
        value = entry.call(receiver, *entry.valid)
    except BaseException as exc:  # noqa: BLE001 - the outcome is what is compared
        return type(exc).__name__, str(exc)
    if value is receiver:
        return "self", OBSERVE.get(type(receiver).__name__, lambda r: pickle.dumps(r))(receiver)
    if "__reduce__" in vars(type(value)):  # a vorel object
        return pickle.dumps(value)
    return outcome(lambda: value)


@pytest.mark.parametrize("entry", [e for e in ENTRIES if e.make is not None], ids=lambda e: e.label)
def test_every_entry_point_gives_the_same_on_a_loaded_receiver(entry):
    assert seen(entry, round_trip(entry.make())) == seen(entry, entry.make())


@pytest.mark.parametrize("protocol", PROTOCOLS)
@pytest.mark.parametrize("name", PICKLED)
def test_a_loaded_object_keeps_its_whole_state(name, protocol):
    original = PICKLED[name]()
    loaded = round_trip(original, protocol)
    assert type(loaded) is type(original) and loaded is not original
    # Everything the state holds, nested objects included, comes back: pickling again gives the same bytes.
    assert pickle.dumps(loaded, protocol) == pickle.dumps(original, protocol)
    assert pickle.dumps(copy.copy(original)) == pickle.dumps(copy.deepcopy(original)) == pickle.dumps(original)
    if observe := OBSERVE.get(type(original).__name__):
        assert observe(loaded) == observe(original)


@pytest.mark.parametrize("member", SINGLETONS, ids=repr)
def test_members_and_conventions_load_as_themselves(member):
    assert round_trip(member) is member and round_trip(member, 0) is member
    assert copy.copy(member) is member and copy.deepcopy(member) is member


def test_builders_keep_the_objects_they_share():
    market = frame()
    first, second = (option(s).valuation().market(market).at(VALUED) for s in (vorel.ExerciseStyle.American,
                                                                                vorel.ExerciseStyle.European))
    loaded_first, loaded_second, loaded_market = round_trip([first, second, market])
    loaded_market.vol_surface = VolSurface.flat(0.3, ACT_365)
    market.vol_surface = VolSurface.flat(0.3, ACT_365)
    assert [b.compute().price for b in (loaded_first, loaded_second)] == [b.compute().price for b in (first, second)]


def test_a_deep_copy_owns_its_inputs_and_a_shallow_one_shares_them():
    builder = valuation()
    before = builder.compute().price
    shallow, deep = copy.copy(builder), copy.deepcopy(builder)
    deep.__reduce__()[1][2][1].spot = 150.0  # the deep copy's own frame
    assert builder.compute().price == shallow.compute().price == before != deep.compute().price
    shallow.__reduce__()[1][2][1].spot = 150.0  # the original's frame
    assert builder.compute().price == deep.compute().price


def test_a_pickle_loads_in_a_fresh_interpreter():
    script = ("import pickle, sys; b = pickle.loads(sys.stdin.buffer.read()); "
              "print(repr(b.compute().price), 'vorel._pickle' in sys.modules, hasattr(sys.modules['vorel'], '_pickle'))")
    builder = valuation()
    done = subprocess.run([sys.executable, "-c", script], input=pickle.dumps(builder), capture_output=True, check=True)
    assert done.stdout.decode().split() == [repr(builder.compute().price), "True", "False"]


def _reduction(obj):
    load, (format_, name, state) = obj.__reduce__()
    return load, format_, name, state


@pytest.mark.parametrize("format_", [2, 7, 2**70])
def test_a_newer_format_is_refused(format_):
    load, _, name, state = _reduction(option())
    with pytest.raises(ValueError, match="written by a newer version of vorel, and this version reads format 1 only"):
        load(format_, name, state)


HOSTILE = [None, -1, 0, 5, 2**64 - 1, 2**64 - 2, 2**70, -(2**70), 1.5, math.nan, "", "Call", "__class__", "THIRTY_360.__class__", (),
           (1,), (0, 0, 0), [1, 2], object(), OptionType.Call, VolSurface.flat(0.2, ACT_365)]


def _replace(state, path, value):
    """`state` with the item at `path` (a tuple of indices into nested tuples) replaced by `value`."""
    items = list(state)
    items[path[0]] = value if len(path) == 1 else _replace(items[path[0]], path[1:], value)
    return tuple(items)


def _paths(state, prefix=()):
    for i, item in enumerate(state):
        yield (*prefix, i)
        if isinstance(item, tuple):
            yield from _paths(item, (*prefix, i))


@pytest.mark.parametrize("name", PICKLED)
def test_a_malformed_state_is_refused_with_an_error(name):
    load, format_, class_name, state = _reduction(PICKLED[name]())
    cases = [(0, class_name, state), (format_, 1, state), (format_, "Nothing", state), (format_, class_name, None),
             (format_, class_name, (*state, None)), (format_, class_name, state[:-1]), (format_, class_name, list(state))]
    cases += [(format_, class_name, _replace(state, path, value)) for path in _paths(state) for value in HOSTILE]
    for args in cases:
        try:
            loaded = load(*args)
        except BaseException as exc:  # noqa: BLE001 - checked just below
            check_raised(exc)
        else:
            assert type(loaded).__module__ == "builtins"
            pickle.dumps(loaded)  # whatever loads is a whole object


@pytest.mark.parametrize("part, value", [(0, 2**63), (0, 2**64 - 1), (0, -(2**63) - 1), (0, 10**12), (1, -1),
                                         (1, 86_400), (1, 2**64 - 1), (2, -1), (2, 2 * 10**9), (2, 2**64 - 1)])
def test_a_point_in_time_out_of_range_is_refused_not_read_as_another(part, value):
    load, format_, name, (strike, expiry, option_type, style) = _reduction(option())
    moved = (*expiry[:part], value, *expiry[part + 1:])
    with pytest.raises(ValueError, match="malformed vorel pickle: a point in time out of range"):
        load(format_, name, (strike, moved, option_type, style))
