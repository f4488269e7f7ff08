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

    lumq_full_spell = fields.Char("Spell", compute="_compute_spell", store=True)
    lumq_simple_spell = fields.Char("Simple spell", compute="_compute_spell", store=True)
    lumq_first_spell = fields.Char("First spell", compute="_compute_spell", store=True)

    @api.depends()
    def _compute_spell(self):
        for record in self:
            spell_rec_name = record._rec_name
            if hasattr(record, "_spell_rec_name") and record._spell_rec_name:
                # a configured field that has since been deleted falls back
                # to the display-name field, as an empty one does
                if record._spell_rec_name in record._fields:
                    spell_rec_name = record._spell_rec_name
            if spell_rec_name:
                record.lumq_full_spell = record.get_full_spell(record[spell_rec_name])
                record.lumq_simple_spell = record.get_simple_spell(record[spell_rec_name])
                simple_spell = record.lumq_simple_spell
                record.lumq_first_spell = simple_spell[0].upper() if simple_spell else ""
            else:
                record.lumq_full_spell = False
                record.lumq_simple_spell = False
                record.lumq_first_spell = False

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

    def _get_spell_text(self, value):
        """Return the text to transliterate for a source value: text as it
        is, the display names of related records, and the text form of any
        other value (a number, a date)."""
        if isinstance(value, models.BaseModel):
            # read as superuser: the spell of a record must not depend on
            # whether its writer may read the records it links to
            return ", ".join(name for name in value.sudo().mapped("display_name") if name)
        if isinstance(value, str):
            return value
        return str(value)
