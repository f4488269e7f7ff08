class SpellMixin(models.Model):
    """add spell feature to model"""

    _name = "lumq_spell.spell_mixin"
    _description = "provide model a spell feature"

    def get_full_spell(self, text):
        if not text:
            return ""
        return "".join(lazy_pinyin(self._get_spell_text(text)))

    def get_simple_spell(self, text):
        if not text:
            return ""
        return "".join(lazy_pinyin(self._get_spell_text(text), style=Style.FIRST_LETTER))

    # precompute: a new record's spells go into its INSERT, not into an
    # UPDATE after it
    lumq_full_spell = fields.Char("Spell", compute="_compute_spell", store=True, precompute=True)
    lumq_simple_spell = fields.Char("Simple spell", compute="_compute_spell", store=True,
                                    precompute=True)
    lumq_first_spell = fields.Char("First spell", compute="_compute_spell", store=True,
                                   precompute=True)
    # Search as people type (an option of the configuration, off by default):
    # the spells of the source text normalised as a query is (lower case, no
    # spaces or punctuation), the plain reading first and then its other
    # readings, separated by spaces; empty while the option is off.
    lumq_spell_variants = fields.Text("Spell variants", compute="_compute_spell", store=True,
                                      precompute=True)
    # what a search matches against the normalised spells
    lumq_spell_typed = fields.Char("Spell as typed", compute="_compute_spell_typed",
                                   search="_search_spell_typed")
    # Fuzzy pinyin (an option of the configuration, off by default): the
    # normalised spells (those searched as typed, or the plain reading's full
    # and simple spell) with the sounds of the chosen pairs folded to one form
    # (spell_fuzzy), separated by spaces; empty while the option is off.
    lumq_spell_folded = fields.Text("Folded spells", compute="_compute_spell", store=True,
                                    precompute=True)
    # what a search matches against the folded spells
    lumq_spell_fuzzy = fields.Char("Spell, fuzzy", compute="_compute_spell_typed",
                                   search="_search_spell_fuzzy")

    # whether the model searches as people typed: set per model on the class
    # that puts this mixin on it, from its ir.model row
    _spell_search_as_typed = False
    # whether the model lists its records in pinyin order (the order of their
    # full spell, ties in the model's own order): set the same way
    _spell_pinyin_order = False
    # the pairs of fuzzy pinyin the model's searches accept (keys of
    # spell_fuzzy.PAIRS separated by spaces), False when none: set the same way
    _spell_fuzzy_pairs = False
    # readings of a record's text stored at most, the plain one included
    _spell_variant_limit = 16
    # other readings than the plain one are those of the text's first
    # characters only: a name is short, and a long text's storage stays small
    _spell_variant_text_limit = 50
    # readings of a query's Chinese characters searched at most
    _spell_query_readings = 8
    # combinations of readings looked at, at most, to find those wanted
    _spell_combination_steps = 2000
    # the Chinese characters: CJK unified ideographs, extension A, the
    # compatibility ideographs, and the supplementary ideographic planes'
    # extensions B to I with their compatibility supplement (U+20000 to
    # U+323AF, extension H the last)
    _spell_han = "[\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\U00020000-\U000323af]"

    def _get_spell_source_name(self):
        """The name of the source field: the configured one while the model
        has it, else the display-name field; False when there is neither."""
        if hasattr(self, "_spell_rec_name") and self._spell_rec_name:
            # a configured field that has since been deleted, or one that
            # lists several records (refused since: their names show each
            # reader only the records they may read), falls back to the
            # display-name field, as an empty one does
            field = self._fields.get(self._spell_rec_name)
            if field is not None and field.type not in ("one2many", "many2many"):
                return self._spell_rec_name
        return self._rec_name

    def _spell_source_field(self):
        """The source field, or None when the model has none."""
        name = self._get_spell_source_name()
        return self._fields.get(name) if name else None

    def _spell_depends(self):
        """The fields whose stored value the spells follow: the source, and
        for a many2one source the display name of the record it links to
        (renaming that record changes what the source shows)."""
        if self._name == "lumq_spell.spell_mixin":
            return []
        source = self._spell_source_field()
        if source is None:
            return []
        if source.type == "many2one":
            return [source.name, source.name + ".display_name"]
        return [source.name]

    # A translatable source is spelled in one language, whoever writes it:
    # Simplified Chinese, or the source text where it has no Chinese one.
    _spell_lang = "zh_CN"

    def _with_spell_lang(self):
        """The records, read in the language that the spells follow."""
        source = self._spell_source_field()
        if source is not None and source.translate:
            return self.with_context(lang=self._spell_lang)
        return self

    @api.depends(lambda self: self._spell_depends())
    def _compute_spell(self):
        records = self
        # records just created whose spells the ORM computed (see create)
        settled = self.env.context.get("lumq_spell_settled_ids") or ()
        if settled[:1] == (INTERNAL_SWITCH,):
            settled_ids = set(settled[1])
            records = self.browse([id_ for id_ in self._ids if id_ not in settled_ids])
        if not records:
            return
        source = self._spell_source_field()
        if source is not None and source.compute and any(isinstance(id_, int) for id_ in records._ids):
            # the ORM stores the source it computed (a path of parents'
            # names) with the spells that this computes
            spell_sql.declare_spell_writer(self.env.cr)
        spell_fields = [self._fields[name] for name in self._spell_stored_fields]
        # The values are stored the way the ORM stores what it computes:
        # kept in the cache and written at the next flush, with no write()
        # per record and field.  So the model's own write() logic and its
        # access rules (res.users lets a user write a few fields of their
        # own record) never see them: they derive from a field the writer
        # could read and write.  The ORM's own computation (a new record's
        # values) protects them already.
        if all(self.env.is_protected(spell_fields[0], record) for record in records):
            protection = contextlib.nullcontext()
        else:
            protection = self.env.protecting(spell_fields, records)
        with protection:
            readable = records._with_spell_lang()
            for record, reader in zip(records, readable):
                if source is not None and self.env.is_protected(source, record):
                    # The record is being created (a write made while it is,
                    # such as an inverse): its source value is not settled,
                    # and reading it now would leave an empty value in the
                    # cache.  create computes the spells once it is.
                    continue
                record.update(record._get_spell_values(
                    reader[source.name] if source is not None else None))
        # computed now: the ORM need not compute them again for new records
        for field in spell_fields:
            self.env.remove_to_compute(field, records)

    _spell_stored_fields = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell",
                            "lumq_spell_variants", "lumq_spell_folded")
    _spell_all_fields = _spell_stored_fields + ("lumq_spell_typed", "lumq_spell_fuzzy")

    def _get_spells(self, text):
        """The full and the simple spell of a text, as get_full_spell and
        get_simple_spell give them, from one transliteration: a Chinese
        character's first letter is the first letter of its pinyin, and a
        piece pypinyin gives back as it was stays whole in both."""
        if not text:
            return "", ""
        pieces = lazy_pinyin(self._get_spell_text(text), errors=Untransliterated)
        return ("".join(pieces),
                "".join(piece if isinstance(piece, Untransliterated) else piece[:1]
                        for piece in pieces))

    def _get_spell_values(self, value):
        """The stored spells of a source value, by field name.  A model
        without a source field (``value`` None) stores empty spells, as an
        empty source does: computed, unlike the NULL of a record whose spells
        are still to be computed."""
        value = self._get_spell_source_text(value)
        full_spell, simple_spell = self._get_spells(value)
        variants = self.get_spell_variants(value) if self._spell_search_as_typed else False
        return {
            "lumq_full_spell": full_spell,
            "lumq_simple_spell": simple_spell,
            "lumq_first_spell": self._get_first_spell(simple_spell),
            "lumq_spell_variants": variants,
            "lumq_spell_folded": (self._get_spell_folded(value, variants)
                                  if self._spell_fuzzy_pairs else False),
        }

    def _get_spell_folded(self, text, variants=False):
        """The folded spells of a source text (see lumq_spell_folded): those
        of its normalised ``variants`` when the model searches as typed, else
        those of its plain reading."""
        if not text:
            return ""
        spells = variants.split() if variants else self._spell_plain_spells(self._get_spell_text(text))
        fold = spell_fuzzy.folder(self._spell_fuzzy_pairs)
        return " ".join(unique(fold(spell) for spell in spells))

    # The first spell of a text that does not begin with a letter A to Z, or
    # one that reduces to it: the letter bar lists such records under this key.
    _spell_other_first = "#"
    # the Unicode name of a Latin letter that has no decomposition but stands
    # for a letter A to Z: a stroke, a hook, a ligature (ae, oe), sharp s
    _spell_latin_name = (r"LATIN (?:CAPITAL|SMALL) (?:LETTER|LIGATURE) (?:SHARP |DOTLESS )?"
                         r"([A-Z])[A-Z]?(?: WITH .+)?")

    @api.model
    def _get_first_spell(self, simple_spell):
        """The first spell of a simple spell: its first character as one
        letter A to Z, upper-cased.  A compatibility or accented form gives
        its base letter (the ligature fi gives F, e acute gives E), and so does
        a Latin letter named after one (sharp s gives S, o with stroke O);
        anything else (a digit, punctuation, a letter of another script) gives
        _spell_other_first.  An empty simple spell gives the empty text."""
        if not simple_spell:
            return ""
        first = unicodedata.normalize("NFKD", simple_spell[0])[:1]
        if not (first.isascii() and first.isalpha()):
            match = re.fullmatch(self._spell_latin_name, unicodedata.name(first, ""))
            first = match.group(1) if match else self._spell_other_first
        return first.upper()

    # Markup of an html source read at most, however long it is: its text
    # is wanted only up to _spell_text_limit characters.
    _spell_markup_limit = 50000
    # html elements whose content is not text that people see
    _spell_hidden_elements = frozenset(("head", "script", "style", "template"))
    # html elements that begin a new line or block: words on either side of
    # them are separate words
    _spell_block_elements = frozenset((
        "address", "article", "aside", "blockquote", "br", "dd", "div", "dl", "dt",
        "figcaption", "figure", "footer", "h1", "h2", "h3", "h4", "h5", "h6", "header",
        "hr", "li", "main", "nav", "ol", "p", "pre", "section", "table", "td", "th", "tr", "ul",
    ))

    def _get_spell_source_text(self, value):
        """The text that a value of the model's source field is spelled from:
        an html source's text without its markup, a selection source's label
        (as the field declares it, untranslated) instead of its key; any
        other value as it is."""
        field = self._spell_source_field()
        if not value or field is None:
            return value
        if field.type == "html":
            return self._get_spell_html_text(value)
        if field.type == "selection":
            selection = field.selection
            # a method (or a related field's): called without a language
            model = self.with_context(lang=None)
            if isinstance(selection, str):
                selection = getattr(model, selection)()
            elif callable(selection):
                selection = selection(model)
            return dict(selection or ()).get(value, value)
        return value

    @api.model
    def _get_spell_html_text(self, markup):
        """The text of html markup as a reader sees it: no tags, comments,
        scripts or styles, entities resolved, runs of white space and block
        boundaries one space.  Only the first _spell_markup_limit characters
        of the markup are read, and the text stops once it has
        _spell_text_limit characters."""
        markup = str(markup)[:self._spell_markup_limit]
        if not markup.strip():
            return ""
        # bytes, so that an encoding declaration in the markup is no error
        root = etree.fromstring(markup.encode(), etree.HTMLParser(encoding="utf-8"))
        if root is None:
            return ""
        pieces = []
        size = 0
        # the depth of hidden elements around the current one
        hidden = 0
        events = ("start", "end", "comment", "pi")
        for event, element in etree.iterwalk(root, events=events):
            tag = element.tag if event in ("start", "end") else None
            if tag in self._spell_hidden_elements:
                hidden += 1 if event == "start" else -1
            if tag in self._spell_block_elements:
                pieces.append(" ")
            if not hidden:
                # an element's own text follows its start; the text after
                # it (after a comment too) follows its end
                text = (element.text if event == "start" else element.tail) or ""
                pieces.append(text)
                size += len(text)
                # white space still to collapse: twice the text wanted
                if size >= 2 * self._spell_text_limit:
                    break
        return " ".join("".join(pieces).split())[:self._spell_text_limit]

    # records computed, stored and dropped from the cache at a time when all
    # the records of a model are computed
    _spell_batch_size = 1000

    @api.model
    def _compute_all_spells(self):
        """Compute the spells of every record of the model, archived ones and
        those the current user may not read too; returns their number."""
        model = self.sudo().with_context(active_test=False)
        ids = model.search([], order="id").ids
        model._store_spells(ids)
        return len(ids)

    @api.model
    def _store_spells(self, ids, log_exceptions=True):
        """Compute and store the spells of the records ``ids``: one UPDATE a
        batch of _spell_batch_size records, each batch leaving the cache
        before the next one, so that the memory it takes stays the same
        however many records there are.  The records' write date and user
        change, as when the ORM stores what it computes."""
        names = self._spell_stored_fields
        spell_fields = [self._fields[name] for name in names]
        # spells waiting in the cache would overwrite these at the next flush
        self.flush_model(names)
        source = self._spell_source_field()
        # only the source is read, not every field of the records
        model = self.with_context(prefetch_fields=False)._with_spell_lang()
        assignments = ", ".join(f'"{name}" = v."{name}"' for name in names)
        log_params = []
        if self._log_access and "write_date" in self._fields:
            assignments += ', "write_uid" = %s, "write_date" = %s'
            log_params = [self.env.uid, self.env.cr.now()]
        columns = ", ".join(f'"{name}"' for name in names)
        row = "(%s)" % ", ".join(["%s"] * (len(names) + 1))
        for start in range(0, len(ids), self._spell_batch_size):
            batch = model.browse(ids[start:start + self._spell_batch_size])
            params = []
            for record in batch:
                values = record._get_spell_values(record[source.name] if source is not None else None)
                params.append(record.id)
                # as the ORM stores them: False is NULL, an empty spell ''
                params.extend(None if values[name] is False else values[name] for name in names)
            self.env.cr.execute(
                f'WITH v("id", {columns}) AS (VALUES {", ".join([row] * len(batch))}) '
                f'UPDATE "{self._table}" SET {assignments} FROM v WHERE "{self._table}".id = v.id',
                params + log_params,
                log_exceptions=log_exceptions,
            )
            for field in spell_fields:
                self.env.remove_to_compute(field, batch)
            batch.invalidate_recordset()

    def _without_given_spells(self, vals):
        """The values without those given for the spells: the spells are
        always what the source gives, whoever writes them."""
        if any(name in vals for name in self._spell_all_fields):
            return {name: value for name, value in vals.items()
                    if name not in self._spell_all_fields}
        return vals

    @api.model
    def _compute_missing_spells(self, limit=None):
        """Compute the spells of the records that lack them: never computed,
        or marked to compute again by a process that changed their source
        without the spells.  At most ``limit`` records; returns whether some
        were left."""
        where = "lumq_full_spell IS NULL"
        if self._spell_search_as_typed:
            # spells computed by a process that did not search as typed yet
            where += " OR (lumq_spell_variants IS NULL AND lumq_full_spell <> '')"
        if self._spell_fuzzy_pairs:
            # or without fuzzy pinyin yet
            where += " OR (lumq_spell_folded IS NULL AND lumq_full_spell <> '')"
        query = f'SELECT id FROM "{self._table}" WHERE {where} ORDER BY id'
        if limit:
            query += " LIMIT %d" % (limit + 1)
        self.env.cr.execute(query)
        ids = [row[0] for row in self.env.cr.fetchall()]
        left = bool(limit) and len(ids) > limit
        if ids:
            # another process computing them at the same moment makes this
            # fail: not an error, the caller passes the model by
            self.sudo().with_context(active_test=False)._store_spells(
                ids[:limit] if limit else ids, log_exceptions=False)
        return left

    @api.model
    def _prepare_spell_table(self, index=True):
        """Make the model's table keep its spells right when a process that
        does not have them writes it: a trigger marks the spells of a row
        whose source column changes to be computed again, and (with
        ``index``) an index finds the rows to compute; others, of the rows
        with capitals in their spells, make searching the spells by ILIKE
        cheaper.  Indexes of earlier versions that none reads any more are
        dropped.  Returns True."""
        cr = self.env.cr
        source = self._spell_source_field()
        if (source is not None and source.store and source.column_type
                and not source.inherited and source.model_name == self._name):
            spell_sql.install_stale_trigger(cr, self._table, source.name)
        else:
            spell_sql.drop_stale_trigger(cr, self._table)
        spell_sql.drop_retired_indexes(cr, self._table)
        if index:
            for spell_index in spell_sql.spell_table_indexes(cr, self._table):
                spell_sql.ensure_index(cr, *spell_index)
        return True

    @api.model_create_multi
    def create(self, vals_list):
        vals_list = [self._without_given_spells(vals) for vals in vals_list]
        records = super(SpellMixin, self).create(vals_list)
        # The ORM computes the spells of a new record for its INSERT from the
        # created values.  When the source is a column of the model's own,
        # that value is settled and the spells are right: computing them
        # again would only repeat the transliteration.
        settled_ids = tuple(records.ids) if self._spell_source_is_own_column() else ()
        records.with_context(
            {"disable_spell_compute": INTERNAL_SWITCH,
             "lumq_spell_settled_ids": (INTERNAL_SWITCH, settled_ids)}
        )._compute_spell()
        return records

    @api.model
    def _spell_source_is_own_column(self):
        """Whether the source field is a plain column of the model's table:
        neither computed, related nor inherited.  Any other source (a display
        name computed from other fields, a field of an _inherits parent) is
        settled only once the record is created."""
        field = self._spell_source_field()
        return bool(field is not None and field.store and field.column_type
                    and not field.compute and not field.related and not field.inherited
                    and not field.translate)

    def write(self, vals):
        vals = self._without_given_spells(vals)
        if self._get_spell_source_name() in vals:
            # this process computes the spells of the source it writes
            spell_sql.declare_spell_writer(self.env.cr)
        result = super(SpellMixin, self).write(vals)
        if self.env.context.get("disable_spell_compute") is INTERNAL_SWITCH:
            return result
        if self._spell_source_is_own_column() and self._get_spell_source_name() in vals:
            # the source just written is in the cache: nothing is read
            self._compute_spell()
        else:
            # The source is read, which a record deleted meanwhile cannot be:
            # a write on it behaves as without spells.
            self.exists()._compute_spell()
        return result

    def _auto_init(self):
        result = super(SpellMixin, self)._auto_init()
        if self.env.context.get("lumq_spell_compute_later") is INTERNAL_SWITCH:
            # Enabling computes the spells itself, in batches of a bounded
            # size (_compute_all_spells): the ORM need not compute every
            # record's spells at once for the new columns.
            for name in self._spell_stored_fields:
                field = self._fields[name]
                self.env.remove_to_compute(field, self.env.records_to_compute(field))
        return result

    @api.model
    def _setup_base(self):
        super(SpellMixin, self)._setup_base()
        if self._name == "lumq_spell.spell_mixin":
            return
        # Name search matches the two spells too.  The list is made here, at
        # every set-up: only now are the model's classes and its _rec_name
        # settled (in a registry being loaded, the spell class is added before
        # any model is set up, and a class loaded later may bring its own
        # list).  It is a new list on this registry's class: the model's own
        # one belongs to its defining class, shared by every registry of the
        # process, and is never changed.
        cls = type(self)
        # the model's classes' list, past the one set here at the last set-up
        own = super(cls, cls)._rec_names_search
        names = list(own or ([cls._rec_name] if cls._rec_name else []))
        for name in ("lumq_full_spell", "lumq_simple_spell"):
            if name not in names:
                names.append(name)
        cls._rec_names_search = names

    @api.model
    def _setup_fields(self):
        super(SpellMixin, self)._setup_fields()
        if self._name == "lumq_spell.spell_mixin":
            return
        source = self._spell_source_field()
        for name in self._spell_all_fields:
            field = self._fields[name]
            # The spells show what the source shows: only those who may read
            # the source may read them.
            field.groups = source.groups if source is not None else None
            if source is not None and (source.translate or (
                    source.store and source.compute and not source.precompute)):
                # computed once the record is stored: a new record holds a
                # translatable text in its creator's language only, and a
                # computed source is not computed before the INSERT
                field.precompute = False

    # Only the start of a long source text is transliterated: nobody types
    # more than this into a search, and one record's cost stays bounded.
    _spell_text_limit = 1000

    def _get_spell_text(self, value):
        """Return the text to transliterate for a source value, at most its
        first _spell_text_limit characters: text as it is, the display names
        of related records, and the text form of any other value (a number,
        a date)."""
        if isinstance(value, models.BaseModel):
            # read as superuser: the spell of a record must not depend on
            # whether its writer may read the records it links to
            names = (name for name in value.sudo().mapped("display_name") if name)
            value = ", ".join(names)
        elif not isinstance(value, str):
            value = str(value)
        return value[:self._spell_text_limit]

    @api.model
    def _search(self, domain, *args, **kwargs):
        domain = self._spell_domain_for_sql(self._spell_domain_for_reader(domain))
        return super(SpellMixin, self)._search(domain, *args, **kwargs)

    @api.model
    def _spell_domain_for_reader(self, domain):
        """The domain as the current user may search it.  Spells of a source
        the user may not read match nothing for them (and their negations
        everything), as if they were not there: a search view that also
        looks at the spells keeps working for every user, and the spells
        tell nobody what the source would not."""
        if self._spell_readable():
            return domain
        hidden = set(self._spell_all_fields)
        result = []
        for leaf in domain:
            if (isinstance(leaf, (list, tuple)) and len(leaf) == 3 and isinstance(leaf[0], str)
                    and leaf[0].split(".")[0] in hidden):
                negative = leaf[1] in ("!=", "<>") or leaf[1].startswith("not ")
                leaf = expression.TRUE_LEAF if negative else expression.FALSE_LEAF
            result.append(leaf)
        return result

    # rows with capitals in their spells named by id in a search of a spell
    # by ILIKE, at most; past that many the search is left as it is
    _spell_cased_limit = 1000

    @api.model
    def _spell_domain_for_sql(self, domain):
        """The domain with its ILIKE and NOT ILIKE leaves on the two spells
        searched as LIKE on the lower-cased text, which finds the same
        records at a third of the cost (see spell_search).  Only where the
        table has its indexes of the rows with capitals in their spells, and
        where the database does not compare the spells without accents."""
        cr = self.env.cr
        if not spell_sql.on_postgresql(cr):
            return domain
        columns = [name for name in ("lumq_full_spell", "lumq_simple_spell")
                   if not (self.pool.has_unaccent and self._fields[name].unaccent)]
        if not (any(spell_search.rewritable(element, columns) for element in domain)
                and spell_sql.cased_indexes_valid(cr, self._table)):
            return domain

        searched = spell_search.searched_patterns(domain, columns)
        found = {}

        def cased_ids(column, pattern):
            if pattern not in found:
                # the rows are read from the table: the spells in the cache go first
                self.flush_model(columns)
                found[pattern] = spell_sql.cased_ids(cr, self._table, searched[pattern], pattern,
                                                     self._spell_cased_limit)
            return found[pattern][column]

        return spell_search.rewrite_domain(domain, columns, spell_search.lower_pattern, cased_ids)

    @api.model
    def _spell_readable(self):
        """Whether the current user may read the spells: those who may read
        the source."""
        groups = self._fields["lumq_full_spell"].groups
        return not groups or self.env.su or self.user_has_groups(groups)

    # -- pinyin order --

    def _order_to_sql(self, order, query, alias=None, reverse=False):
        """With pinyin order, the model's own order (what lists, kanban views
        and name search ask for when no column is sorted) comes after the
        full spell: it orders the records of the same spell.  An order that a
        caller gives stays as it is, but for the source field (see
        _order_field_to_sql)."""
        order = order or self._order
        if order != self._order or not self._spell_orders_by_spell():
            return super(SpellMixin, self)._order_to_sql(order, query, alias, reverse)
        # the model's own order as it is written, its source field included
        own = super(SpellMixin, self.with_context(lumq_spell_own_order=INTERNAL_SWITCH)) \
            ._order_to_sql(order, query, alias, reverse)
        term = self._spell_order_term(alias or self._table, SQL("DESC" if reverse else "ASC"),
                                      SQL(), query)
        return SQL(", ").join([term, own]) if own else term

    def _order_field_to_sql(self, alias, field_name, direction, nulls, query):
        """With pinyin order, sorting by the source field (a list's column)
        sorts by its full spell, then by the field itself."""
        term = super(SpellMixin, self)._order_field_to_sql(alias, field_name, direction, nulls, query)
        if (field_name != self._get_spell_source_name() or not self._spell_orders_by_spell()
                or self.env.context.get("lumq_spell_own_order") is INTERNAL_SWITCH):
            return term
        spell = self._spell_order_term(alias, direction, nulls, query)
        return SQL(", ").join([spell, term]) if term else spell

    def _spell_orders_by_spell(self):
        """Whether this model's records are listed in pinyin order for the
        current user: not for those who may not read the source, whose order
        would tell them what it does not."""
        return bool(self._spell_pinyin_order) and self._spell_readable()

    def _spell_order_term(self, alias, direction, nulls, query):
        """The ORDER BY term of the pinyin order: the full spell, whose
        untransliterated pieces keep their case, as its lower-case text, so
        that Latin names sort by their letters among the others whatever
        their case (amin, Bob, chenqi).  Records whose spells are still to
        be computed come last, as PostgreSQL puts NULL by default (said
        here, as not every database does)."""
        # the spells of new records wait in the cache until a flush
        self.flush_model(["lumq_full_spell"])
        if not nulls:
            nulls = SQL("NULLS FIRST" if direction.code == "DESC" else "NULLS LAST")
        column = self._field_to_sql(alias, "lumq_full_spell", query)
        return SQL("%s %s %s", spell_sql.order_key(column), direction, nulls)

    @api.model
    def _prepare_spell_option_indexes(self):
        """Keep the indexes that the model's options read while it has them,
        and drop them once it does not: that of the pinyin order, and that of
        the first spells for the letter bar's counts."""
        cr = self.env.cr
        wanted = [
            (self._spell_pinyin_order, spell_sql.order_index(self._table)),
            (self.env["lumq_spell.config"]._spell_letter_counts(self._name),
             spell_sql.first_index(self._table)),
        ]
        missing = []
        for kept, index in wanted:
            if not kept:
                spell_sql.drop_index(cr, index.name)
            elif not spell_sql.index_state(cr, index.name):
                missing.append(index)
        if not missing:
            return
        # a small table's indexes are made at once, in this transaction; a
        # large one's after it, without keeping the table's writers waiting
        limit = self._spell_option_index_limit
        if spell_sql.count_up_to(cr, self._table, limit) <= limit or not spell_sql.on_postgresql(cr):
            for index in missing:
                spell_sql.ensure_index(cr, *index)
        else:
            self.env["ir.model"]._build_spell_index_later(missing)

    # the most records whose indexes of the options are made at once
    _spell_option_index_limit = 50000

    # the keys of the letter bar: the letters of the first spells, and the
    # key of the records whose first spell is none of them, or none yet
    _spell_first_keys = tuple("ABCDEFGHIJKLMNOPQRSTUVWXYZ") + (_spell_other_first,)

    @api.model
    def lumq_spell_letter_counts(self, domain, limit, beyond=False):
        """The letter bar's count of the records of ``domain`` under each of
        its keys (_spell_first_keys), as far as the list's pager counts them
        (``limit``): one count grouped by the first spell, of at most
        ``limit`` + 1 records.

        Past the limit, the records counted do not tell every key's count: a
        key found among them has more records than were counted (None), and
        each other key is looked at (_spell_probe_keys).  With ``beyond``, the
        caller knows already that the search has more than ``limit`` records
        (its pager counted that far), and every key is looked at without the
        grouped count.  {} for a user who may not read the source, to whom
        the letters would tell what it does not."""
        if not self._spell_readable():
            return {}
        limit = int(limit)
        if limit < 1:
            raise UserError(_("The letter counts need a limit of at least 1, not %s.", limit))
        cr = self.env.cr
        other = self._spell_other_first
        query = self._search(list(domain or []))
        counts = dict.fromkeys(self._spell_first_keys, 0)
        if not beyond:
            first = self._field_to_sql(self._table, "lumq_first_spell", query)
            query.limit = limit + 1
            cr.execute(SQL("SELECT first, COUNT(*) FROM (%s) AS counted GROUP BY first",
                           query.select(SQL("%s AS first", first))))
            query.limit = None
            for value, count in cr.fetchall():
                counts[value if value in counts else other] += count
            if sum(counts.values()) <= limit:
                return counts
        unseen = [key for key, count in counts.items() if not count]
        counts = dict.fromkeys(counts)
        if (query.from_clause.code == SQL.identifier(self._table).code
                and spell_sql.index_state(cr, spell_sql.first_index_name(self._table))):
            counts.update(zip(unseen, self._spell_probe_keys(query, unseen)))
        return counts

    # the most rows of each key that the letter counts look at, past the limit
    _spell_letter_probe_rows = 100

    def _spell_probe_keys(self, query, keys):
        """Of each of ``keys``, whether the search of ``query`` (on the
        model's table alone) has records under it, by a look at the key's
        first _spell_letter_probe_rows rows through the index of first
        spells, up to the first of the search: 0 when they are all of the
        key's rows and none is of the search, else None (it has records, or
        it cannot tell at this cost: a key with many rows, none of them among
        the first, has its own count asked for on hover).  Reading every row
        of a key until one is of the search could read most of the table for
        a key that a narrow search does not have."""
        rows = self._spell_letter_probe_rows
        table = SQL.identifier(self._table)
        column = SQL.identifier(self._table, "lumq_first_spell")
        matched = query.where_clause or SQL("TRUE")

        def probe(of_key):
            # the key's rows looked at, under the table's own name, so that
            # the search's condition applies to them as it is: -1 once one
            # of them is of the search, else how many there are
            looked_at = SQL("(SELECT * FROM %s WHERE %s LIMIT %s) AS %s", table, of_key, rows, table)
            return SQL("CASE WHEN EXISTS(SELECT 1 FROM %s WHERE %s) THEN -1 "
                       "ELSE (SELECT COUNT(*) FROM %s) END", looked_at, matched, looked_at)

        other = self._spell_other_first
        letters = [key for key in keys if key != other]
        selects = []
        if letters:
            # one probe for all the letters, each its own key's (PostgreSQL
            # plans it once, whatever the number of letters)
            selects.append(SQL(
                "SELECT letters.key, %s FROM (SELECT column1 AS key FROM (VALUES %s) AS v) AS letters",
                probe(SQL("%s = letters.key", column)),
                SQL(", ").join(SQL("(%s)", letter) for letter in letters)))
        if other in keys:
            selects.append(SQL("SELECT %s, %s", other,
                               probe(SQL("%s IS NULL OR %s IN (%s, '')", column, column, other))))
        if not selects:
            return []
        # The letters' probe is planned once for all of them, for a letter of
        # the average number of rows: PostgreSQL would read the table in its
        # order until a row of the letter, far for a rare letter and to the
        # end for one that no row has.  Each letter's rows are read through
        # the index instead.
        with spell_sql.planner_settings(self.env.cr, enable_seqscan="off"):
            self.env.cr.execute(SQL(" UNION ALL ").join(selects))
            looked = dict(self.env.cr.fetchall())
        return [0 if 0 <= looked[key] < rows else None for key in keys]

    @api.model
    def _name_search(self, name, domain=None, operator="ilike", limit=None, order=None):
        # Models that override _name_search (res.partner.category, res.bank)
        # do not search _rec_names_search: match the spells here too, beside
        # whatever the model matches itself, within the limit and in order.
        query = super(SpellMixin, self)._name_search(name, domain, operator, limit, order)
        if not name or operator not in ("ilike", "like", "=ilike", "=like", "="):
            return query
        spell_domain = ["|", ("lumq_full_spell", operator, name), ("lumq_simple_spell", operator, name)]
        if self._spell_search_as_typed:
            spell_domain = expression.OR([spell_domain, [("lumq_spell_typed", operator, name)]])
        exact_domain = expression.OR([[("id", "in", query)], spell_domain])
        if not self._spell_fuzzy_pairs:
            return self._search(expression.AND([domain or [], exact_domain]), limit=limit, order=order)
        fuzzy_domain = [("lumq_spell_fuzzy", operator, name)]
        if not limit:
            # all of them: a condition of a search, where order does not count
            return self._search(
                expression.AND([domain or [], expression.OR([exact_domain, fuzzy_domain])]),
                order=order)
        # the records that match as typed first, then those that match only
        # with fuzzy pinyin, each in order, within the limit
        exact_ids = list(self._search(expression.AND([domain or [], exact_domain]),
                                      limit=limit, order=order))
        if len(exact_ids) >= limit:
            return exact_ids
        fuzzy_ids = self._search(
            expression.AND([domain or [], fuzzy_domain, [("id", "not in", exact_ids)]]),
            limit=limit - len(exact_ids), order=order)
        return exact_ids + list(fuzzy_ids)

    # -- search as people type --

    def _spell_words(self, text, surnames=False, others=True):
        """The words of a text as a search reads them: one per Chinese
        character, with its readings, and one per run of other letters and
        digits, lower-cased (u with diaeresis as v), read as itself.  Spaces,
        apostrophes and other punctuation only separate words.  Each word is
        the list of its readings, the plain pypinyin reading first (phrases
        read as pypinyin reads them), alone without ``others``; with
        ``surnames``, a surname that begins the text comes first with its
        surname readings."""
        # Input methods type the vowel u with diaeresis as "v", as pypinyin's
        # readings spell it (lv for the surname Lv), or as itself: both are
        # read as "v", in queries and in the stored spells alike.
        text = unicodedata.normalize("NFKC", text).lower().replace("\u00fc", "v")
        words = []
        # runs of Chinese characters, and words of other letters and digits
        # (Chinese characters are word characters too: a word stops there)
        han = self._spell_han
        for run in re.finditer("(%s+)|(?:(?!%s)[^\\W_])+" % (han, han), text):
            chars = run.group()
            if not run.group(1):
                words.append([chars])
                continue
            plain = lazy_pinyin(chars)
            # the other readings cost more than the plain one: read only when wanted
            readings = (pinyin(chars, heteronym=True, style=Style.NORMAL) if others
                        else [[]] * len(chars))
            if len(plain) != len(chars) or len(readings) != len(chars):
                # characters without a reading come back grouped: read one
                # character at a time
                plain = [lazy_pinyin(char)[0] for char in chars]
                readings = [pinyin(char, heteronym=True, style=Style.NORMAL)[0] if others else []
                            for char in chars]
            for first, alternatives in zip(plain, readings):
                words.append(list(unique([first.lower()] + [r.lower() for r in alternatives])))
        if surnames:
            start = re.match(self._spell_han, text.lstrip())
            head = text.lstrip()[:2]
            if start and head in COMPOUND_SURNAMES and len(words) >= 2:
                for index in range(2):
                    own = [reading[index] for reading in COMPOUND_SURNAMES[head]]
                    words[index] = list(unique(own + words[index]))
            elif start and head[:1] in SURNAMES:
                words[0] = list(unique(SURNAMES[head[:1]] + words[0]))
        return words

    @api.model
    def _spell_combinations(self, words, limit):
        """At most ``limit`` readings of a list of words, one reading per
        word: the words' first readings, then those that differ from them in
        one word (the earlier words first), then in two, and so on.  Only a
        bounded number of combinations is looked at, however long the text."""
        first = [readings[0] for readings in words]
        others = [(index, reading) for index, readings in enumerate(words)
                  for reading in readings[1:]]
        found = [first]
        steps = 0
        for count in range(1, len(others) + 1):
            for changes in itertools.combinations(others, count):
                steps += 1
                if len(found) >= limit or steps > self._spell_combination_steps:
                    return found
                if len({index for index, _reading in changes}) < count:
                    continue
                combination = list(first)
                for index, reading in changes:
                    combination[index] = reading
                found.append(combination)
        return found

    def get_spell_variants(self, text):
        """The normalised spells of a source text, separated by spaces: the
        full and simple spell of its plain reading (the first letters of all
        its words), then those of its other readings, surname readings first,
        at most _spell_variant_limit readings of its first
        _spell_variant_text_limit characters."""
        if not text:
            return ""
        text = self._get_spell_text(text)
        readings = [self._spell_plain_reading(text)] + self._spell_combinations(
            self._spell_words(text[:self._spell_variant_text_limit], surnames=True),
            self._spell_variant_limit)
        spells = []
        for reading in unique(tuple(reading) for reading in readings):
            spells.append("".join(reading))
            spells.append("".join(word[:1] for word in reading))
            if len(spells) >= 2 * self._spell_variant_limit:
                break
        return " ".join(unique(spell for spell in spells if spell))

    def _spell_plain_reading(self, text):
        """The plain reading of a text: each word's first reading."""
        return [readings[0] for readings in self._spell_words(text, others=False)]

    def _spell_plain_spells(self, text):
        """The normalised full and simple spell of a text's plain reading, as
        get_spell_variants begins (the empty ones left out)."""
        plain = self._spell_plain_reading(text)
        return [spell for spell in ("".join(plain), "".join(word[:1] for word in plain)) if spell]

    @api.model
    def _spell_query_readings_of(self, text):
        """The readings of a typed query, normalised as the stored spells
        are: lower case, without spaces, apostrophes or punctuation, its
        Chinese characters read as pinyin (at most _spell_query_readings
        readings of them).  Only the query's first _spell_text_limit
        characters count, as only that much of a text is transliterated."""
        words = self._spell_words(text[:self._spell_text_limit])
        if not words:
            return []
        readings = self._spell_combinations(words, self._spell_query_readings)
        return list(unique("".join(reading) for reading in readings))

    def _compute_spell_typed(self):
        # fields to search with, never shown: they have no value of their own
        for record in self:
            record.lumq_spell_typed = False
            record.lumq_spell_fuzzy = False

    def _search_spell_typed(self, operator, value):
        """Match a typed query against the normalised spells: any of its
        readings within a spell (ilike, like), or a whole spell (=, =ilike,
        =like); the negative operators match the other records."""
        return self._spell_readings_domain(operator, value, "lumq_spell_variants", "ilike",
                                           lambda reading: reading)

    def _search_spell_fuzzy(self, operator, value):
        """Match a typed query against the folded spells, as
        _search_spell_typed matches it against the normalised ones: its
        readings folded as the stored spells are.  Those are lower case: LIKE
        compares them, cheaper than ILIKE.  Matches nothing while the model
        has no fuzzy pinyin."""
        pairs = self._spell_fuzzy_pairs
        transform = spell_fuzzy.folder(pairs) if pairs else (lambda reading: None)
        return self._spell_readings_domain(operator, value, "lumq_spell_folded", "like", transform)

    def _spell_readings_domain(self, operator, value, column, like, transform):
        """The domain matching a typed query's readings, each given by
        ``transform`` (None: nothing to match), against the spells of
        ``column``, separated by single spaces, compared by ``like`` (ilike or
        like) as a part of a spell or as ``=`` + ``like`` a whole one."""
        negative = {"not ilike": "ilike", "not like": "like", "!=": "="}
        positive = negative.get(operator, operator)
        if positive not in ("ilike", "like", "=", "=ilike", "=like"):
            raise UserError(_("The operator %(operator)s is not supported on this field.",
                              operator=operator))
        if value is False or value is None:
            value = ""
        # the ORM flushes the fields that a domain names, not those of the
        # domain a search method gives: spells of new records wait in the cache
        self.flush_model([column])
        readings = self._spell_query_readings_of(str(value))
        readings = [reading for reading in unique(map(transform, readings)) if reading is not None]
        if not readings:
            # nothing to read (only spaces or punctuation): all records for
            # an empty query, as ilike matches them, else none
            domain = [(1, "=", 1)] if positive in ("ilike", "like") and not value else [(0, "=", 1)]
        elif positive in ("ilike", "like"):
            domain = expression.OR([[(column, like, reading)] for reading in readings])
        else:
            # a whole spell: the spells are separated by single spaces
            domain = expression.OR([
                [(column, "=" + like, pattern)]
                for reading in readings
                for pattern in (reading, reading + " %", "% " + reading, "% " + reading + " %")
            ])
        if operator in negative:
            return ["!"] + expression.normalize_domain(domain)
        return domain
