"""Searching the spells by ILIKE at the cost of LIKE, on PostgreSQL.

PostgreSQL matches ``spell ILIKE pattern`` as ``lower(spell) LIKE
lower(pattern)``, lower-casing every row it reads: on a large table that costs
a search about three times what LIKE does.  The spells are pinyin, lower case,
except for pieces kept as they were (a Latin name keeps its capitals).  For a
row whose spell is lower case already, ``spell LIKE lower(pattern)`` finds
exactly what ILIKE finds; the few rows with capitals are found by ILIKE
through a small partial index before the search (``spell_sql.CASED_SPELLS``)
and named by their ids.  So a leaf::

    (spell, 'ilike', text)      becomes  ['|', '&', (spell, 'like', lower('%text%')),
                                                    (spell, 'like', lower('%text%')),
                                               ('id', 'in', ids)]
    (spell, 'not ilike', text)  becomes  ['&', (spell, 'not like', lower('%text%')),
                                               ('id', 'not in', ids)]

where ``ids`` are those of the rows with capitals whose spell matches.  The
ORM turns the second form into ``NOT LIKE ... OR spell IS NULL``, as it does
with NOT ILIKE: both find the same rows.  A row matched by LIKE is matched by
ILIKE too, so a row with capitals found by both is counted once.

The LIKE of the first form is written twice, joined by AND: a row matches
both exactly when it matches one, and PostgreSQL tests the second only on
the rows that passed the first.  It is there for the plan.  PostgreSQL
expects a LIKE with a leading wildcard to match at least one row in 10,000,
however rare the text; the two spells of a search view's field thus add two
rows in 10,000 to the rows it expects the field's filter to find.  At a
million rows that tips a list's page (80 rows in the model's order) from
reading the whole table and sorting the few rows found into walking the
index of the order until 80 rows have matched: cheap where matches are
spread, but the spells follow the name, which leads the order, so their
matches lie together, and the walk reads most of the table, row by row, to
reach them (three times the filter alone on contacts).  Twice the LIKE is
expected to match the square of that, next to nothing: the filter keeps the
plan it has without the spells, and pays only for testing them on each row.

The text is searched as the ORM searches it, wildcards ``%`` and ``_`` and the
escape character included: the pattern is the same, only the operator and
the side that is lower-cased change.
"""

# operator -> (operator on the lower-cased pattern, operator on the ids, joint,
# whether the LIKE is written twice: see the module's text)
REWRITTEN = {
    "ilike": ("like", "in", "|", True),
    "not ilike": ("not like", "not in", "&", False),
}


def rewritable(element, columns):
    """Whether ``element`` of a domain is a leaf that ``rewrite_domain``
    rewrites: a non-empty text searched by ILIKE or NOT ILIKE on one of
    ``columns``.  An empty text matches every row, NULL spells included, and
    is left to the ORM."""
    return (isinstance(element, (list, tuple)) and len(element) == 3
            and element[0] in columns and isinstance(element[1], str)
            and element[1].lower() in REWRITTEN
            and isinstance(element[2], str) and element[2] != "")


def pattern_of(text):
    """The pattern of an ILIKE on ``text``, as the ORM makes it."""
    return f"%{text}%"


def searched_patterns(domain, columns):
    """Pattern -> the ``columns`` that the rewritable leaves of ``domain``
    search with it, in their order: the rows with capitals are looked up
    once for all of them."""
    searched = {}
    for element in domain:
        if rewritable(element, columns):
            wanted = searched.setdefault(pattern_of(element[2]), [])
            if element[0] not in wanted:
                wanted.append(element[0])
    return searched


def rewrite_domain(domain, columns, lower_pattern, cased_ids):
    """``domain`` with each rewritable leaf on ``columns`` (see the module's
    text) replaced by its LIKE form.  ``lower_pattern(pattern)`` gives the
    right side of a LIKE that compares with the lower-cased pattern;
    ``cased_ids(column, pattern)`` the ids of the rows with capitals in their
    spells that match by ILIKE, or None where they are too many to name (the
    leaf is then kept).  Any other element is kept as it is."""
    result = []
    for element in domain:
        if rewritable(element, columns):
            column, operator, text = element
            pattern = pattern_of(text)
            ids = cased_ids(column, pattern)
            if ids is not None:
                like, in_ids, joint, twice = REWRITTEN[operator.lower()]
                leaf = (column, like, lower_pattern(pattern))
                result += [joint, *(["&", leaf, leaf] if twice else [leaf]), ("id", in_ids, ids)]
                continue
        result.append(element)
    return result


def lower_pattern(pattern):
    """The right side of a LIKE that compares with ``pattern`` lower-cased by
    PostgreSQL, in the database's collation, as ILIKE lower-cases it."""
    # imported here: the ORM's SQL objects exist on the real server only,
    # the one this is used on
    from odoo.tools import SQL

    return SQL("lower(%s)", pattern)
