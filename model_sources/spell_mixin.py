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

    def _get_spell_source_name(self):
        """The name of the source field: the configured one while the model
        has it, else the display-name field; False when there is neither."""
        if hasattr(self, "_spell_rec_name") and self._spell_rec_name:
            # a configured field that has since been deleted falls back to
            # the display-name field, as an empty one does
            if self._spell_rec_name in self._fields:
                return self._spell_rec_name
        return self._rec_name

    @api.depends()
    def _compute_spell(self):
        # Records deleted meanwhile have nothing to compute: a write on them
        # behaves as without spells.
        records = self.exists()
        spell_fields = [self._fields[name] for name in
                        ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")]
        # The values are stored the way the ORM stores what it computes:
        # kept in the cache and written at the next flush, with no write()
        # per record and field.  So the model's own write() logic and its
        # access rules (res.users lets a user write a few fields of their
        # own record) never see them: they derive from a field the writer
        # could read and write.
        with self.env.protecting(spell_fields, records):
            spell_rec_name = self._get_spell_source_name()
            source = self._fields.get(spell_rec_name) if spell_rec_name else None
            for record in records:
                if source is not None and self.env.is_protected(source, record):
                    # The record is being created (a write made while it is,
                    # such as an inverse): its source value is not settled,
                    # and reading it now would leave an empty value in the
                    # cache.  create computes the spells once it is.
                    continue
                if spell_rec_name:
                    record.lumq_full_spell = record.get_full_spell(record[spell_rec_name])
                    record.lumq_simple_spell = record.get_simple_spell(record[spell_rec_name])
                    simple_spell = record.lumq_simple_spell
                    record.lumq_first_spell = simple_spell[0].upper() if simple_spell else ""
                else:
                    record.lumq_full_spell = False
                    record.lumq_simple_spell = False
                    record.lumq_first_spell = False
        # computed now: the ORM need not compute them again for new records
        for field in spell_fields:
            self.env.remove_to_compute(field, records)

    # records computed, stored and dropped from the cache at a time when all
    # the records of a model are computed
    _spell_batch_size = 1000

    @api.model
    def _compute_all_spells(self):
        """Compute the spells of every record of the model, archived ones too.
        Each batch is stored and leaves the cache before the next one, so the
        memory it takes stays the same however many records there are."""
        ids = self.with_context(active_test=False).search([]).ids
        spell_fields = ["lumq_full_spell", "lumq_simple_spell", "lumq_first_spell"]
        for start in range(0, len(ids), self._spell_batch_size):
            batch = self.browse(ids[start:start + self._spell_batch_size])
            batch._compute_spell()
            batch.flush_recordset(spell_fields)
            batch.invalidate_recordset()

    @api.model_create_multi
    def create(self, vals_list):
        records = super(SpellMixin, self).create(vals_list)
        records.with_context({"disable_spell_compute": True})._compute_spell()
        return records

    def write(self, vals):
        result = super(SpellMixin, self).write(vals)
        if any(name in vals for name in ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")):
            return result
        if not self.env.context.get("disable_spell_compute"):
            self._compute_spell()
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
    def _name_search(self, name, domain=None, operator="ilike", limit=None, order=None):
        # Models that override _name_search (res.partner.category, res.bank)
        # do not search _rec_names_search: match the spells here too, beside
        # whatever the model matches itself, within the limit and in order.
        query = super(SpellMixin, self)._name_search(name, domain, operator, limit, order)
        if not name or operator not in ("ilike", "like", "=ilike", "=like", "="):
            return query
        spell_domain = ["|", ("lumq_full_spell", operator, name), ("lumq_simple_spell", operator, name)]
        return self._search(
            expression.AND([domain or [], expression.OR([[("id", "in", query)], spell_domain])]),
            limit=limit, order=order,
        )
