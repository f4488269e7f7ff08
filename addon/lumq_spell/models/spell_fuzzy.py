"""Fuzzy pinyin: sounds that many speakers do not tell apart, folded to one form.

Speakers of many dialects, in the south above all, say z for zh, n for l, h
for f, -n for -ng; their input methods offer "fuzzy pinyin" for it, and they
type "zansan" for 张三 or "nisi" for 李四.  Trying every spelling of a query
would multiply the comparisons by two for each such sound in it.  Instead a
text is folded: each sound of a chosen pair is written as its partner, so that
all the fuzzy spellings of a text fold to the same form ("zhangsan",
"zangsan", "zhansan" and "zansan" all fold to "zansan" with z/zh and
-n/-ng).  The stored spells and the typed query are folded alike and compared
once.

Folding reads normalised pinyin (lower case, no spaces), where syllables are
not marked.  It folds each initial wherever it appears, and -ng only where it
must end a syllable: before another consonant or at the end.  Before a vowel
the g may begin the next syllable (zen'guo, xin'gan), so "zenguo" keeps it
and "zengguo" folds to it; a text whose -ng comes before a vowel (fang'an) is
thus found by its fuzzy spellings only where they keep the g.
"""
import functools
import re

# The pairs, by key: the spelling folded away, as a pattern, and the form it
# folds to.  Keys are listed in this order wherever pairs are named.
PAIRS = {
    "zh": ("zh", "z"),
    "ch": ("ch", "c"),
    "sh": ("sh", "s"),
    "l": ("l", "n"),
    "f": ("f", "h"),
    # an/ang, en/eng, in/ing, and with them ian/iang, uan/uang; ong has no
    # partner and stays.  Only a final ng: one before a vowel may be an n
    # and the next syllable's g (zen'guo, xin'gan) and stays.
    "ng": ("(?<=[aei])ng(?![aeiouv])", "n"),
}


def pairs_of(keys):
    """The keys of ``keys`` (a text of keys separated by spaces, or an
    iterable) that name pairs, in the order of PAIRS, as a text separated by
    spaces; the empty text when none does."""
    if isinstance(keys, str):
        keys = keys.split()
    chosen = set(keys or ())
    return " ".join(key for key in PAIRS if key in chosen)


@functools.lru_cache(maxsize=64)
def folder(keys):
    """The function that folds a text (normalised pinyin) with the pairs
    ``keys`` (a text of keys separated by spaces, as pairs_of gives them):
    made once per set of pairs, then applied to every text."""
    pairs = [PAIRS[key] for key in pairs_of(keys or "").split()]
    if not pairs:
        return lambda text: text
    # one pass: at each position the first pair that matches, in order (zh
    # before the f/h pair, which must not make a new zh)
    pattern = re.compile("|".join(f"({source})" for source, _target in pairs))
    targets = [target for _source, target in pairs]
    return functools.partial(pattern.sub, lambda match: targets[match.lastindex - 1])


def fold(text, keys):
    """``text`` (normalised pinyin) with the sounds of the pairs ``keys``
    folded; the text itself when no pair is chosen."""
    return folder(keys)(text) if text else text
