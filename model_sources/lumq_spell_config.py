class LumqSpellConfig(models.Model):
    """This class is used to store the configuration of the spell module."""

    _name = "lumq_spell.config"
    _description = "lumq spell config"
    # a configuration is named after its model (breadcrumbs, links)
    _rec_name = "model_id"

    model_id = fields.Many2one(
        "ir.model",
        string="Model",
        domain="[('model', 'not in', ['ir.model', 'ir.model.fields', 'base', 'base.module', 'base.module.config', 'ir.modue', 'ir.module.config'])]",
        ondelete="cascade",
        required=False,
        help="The model whose records get their pinyin spells stored and searched.",
    )
    model_name = fields.Char(string="name", related="model_id.model", store=True)
    show_spell_navbar = fields.Boolean(
        string="Show spell navbar",
        default=True,
        help="Show the bar of the letters A to Z and # above every list and kanban view "
        "of the model; when off, only the navbar views chosen here show it.",
    )
    spell_field_id = fields.Many2one(
        "ir.model.fields",
        string="field",
        domain="[('model_id', '=', model_id), ('ttype', 'not in', ['one2many', 'many2many'])]",
        ondelete="set null",
        help="The field whose text is transliterated; empty: the record's display name field. "
        "A translatable field is spelled in Simplified Chinese (from its source text where it "
        "has no Chinese one); only those who may read the field may read its spells.",
    )
    spell_field_name = fields.Char(string="Field Name", related="spell_field_id.name", store=True)
    search_as_typed = fields.Boolean(
        string="Search as people type",
        default=False,
        help="Read what people type as they type it: case, spaces and apostrophes do not "
        "matter (Zhang San, zhang san), Chinese characters and pinyin may be mixed (\u5f20s, "
        "zhang\u4e09), names of several words are found by the initials and the spell of "
        "all their words (Alice \u9648: ac, alicechen), and the other readings of a name "
        "are found too, surname readings first (\u66fe\u56fd\u85e9: zengguofan, zgf). "
        "Recommended for people's names. Each record stores its other readings as well; "
        "switching this computes the model's spells again.",
    )
    pinyin_order = fields.Boolean(
        string="Pinyin order",
        default=False,
        help="List the records in the order of their full spell: lists, kanban views and "
        "drop-downs show \u963f\u660e, Bob, \u9648\u4e03, \u674e\u56db ... as a phone's "
        "contacts do, Latin names among them by their letters whatever their case; records "
        "of the same spell keep the model's own order, and sorting a list by the source "
        "field's column sorts by pinyin too. Costs an index of the full spells, which "
        "keeps large lists fast and each save a little slower.",
    )
    fuzzy_pinyin = fields.Boolean(
        string="Fuzzy pinyin",
        default=False,
        help="Also find what people type without telling apart the sounds of the pairs chosen "
        "below, as input methods offer it (fuzzy pinyin): zansan finds \u5f20\u4e09, nisi "
        "finds \u674e\u56db. Every query finds what it found before; drop-downs list the "
        "records found only this way after the others. Each record stores its spells once "
        "more, folded; switching this or a pair computes the model's spells again.",
    )
    # the pairs of fuzzy pinyin, one field per key of spell_fuzzy.PAIRS
    # ("fuzzy_" + key), all chosen by default
    fuzzy_zh = fields.Boolean(string="z = zh", default=True)
    fuzzy_ch = fields.Boolean(string="c = ch", default=True)
    fuzzy_sh = fields.Boolean(string="s = sh", default=True)
    fuzzy_l = fields.Boolean(string="n = l", default=True)
    fuzzy_f = fields.Boolean(string="h = f", default=True)
    fuzzy_ng = fields.Boolean(
        string="-n = -ng", default=True,
        help="an = ang, en = eng, in = ing, and with them ian = iang, uan = uang.")
    show_letter_counts = fields.Boolean(
        string="Letter counts",
        default=False,
        help="Dim the letters of the letter bar that no record of the current search has, "
        "and show each letter's count on hover. Costs one grouped count of the records each "
        "time the search changes, about as long as the list's own count: like the list's pager, "
        "it stops at 10,000 records. Past that, a letter's own count is asked for when the "
        "pointer rests on it, and an index of the first letters, kept while this is on, tells "
        "which letters have no record.",
    )
    spell_navbar_view_ids = fields.Many2many(
        "ir.ui.view",
        string="spell_navbar_view_ids",
        relation="lumq_spell_config_spell_navbar_view_rel",
        column1="lumq_spell_config_id",
        column2="spell_navbar_view_id",
        help="List and kanban views that show the letter bar even when the model's "
        "navbar is off.",
    )
    extended_search_view_ids = fields.Many2many(
        "ir.ui.view",
        string="extended_search_view_ids",
        relation="lumq_spell_config_extended_search_view_rel",
        column1="lumq_spell_config_id",
        column2="extended_search_view_id",
        help="The views that make the model's search views match the spells; made when "
        "the model is enabled and deleted with this configuration.",
    )
    record_count = fields.Integer(
        string="Records",
        compute="_compute_record_count",
        help="The number of records of the model that you may read, archived ones "
        "included: each record of the model stores its spells.",
    )

    # Where the computation of the model's spells stands.  Written by the
    # addon alone (_set_spell_progress), never by a create or write.
    spell_state = fields.Selection(
        [("computing", "Computing"), ("ready", "Ready")],
        string="Spells",
        default="ready",
        readonly=True,
        copy=False,
        help="Ready: every record of the model has its spells. Computing: the spells are "
        "being computed in the background, a batch at a time; meanwhile the records are "
        "read, searched and saved as usual, and search by pinyin finds those already "
        "computed.",
    )
    spell_background = fields.Boolean(
        string="Computed in the Background",
        readonly=True,
        copy=False,
        help="Whether the last computation of the spells ran in the background (a large "
        "model) rather than while enabling (a small one).",
    )
    spell_total = fields.Integer(string="Records to Spell", readonly=True, copy=False)
    spell_done = fields.Integer(string="Records Spelled", readonly=True, copy=False)
    spell_started_at = fields.Datetime(string="Spelling Started", readonly=True, copy=False)
    spell_finished_at = fields.Datetime(string="Spelling Finished", readonly=True, copy=False)
    # the background computation's position: the model and the last id done
    spell_sweep_model = fields.Char(readonly=True, copy=False)
    spell_sweep_id = fields.Integer(readonly=True, copy=False)
    # counts the computations started: a background run that finds another
    # number than the one it began with stops
    spell_sweep_count = fields.Integer(readonly=True, copy=False)
    spell_progress = fields.Float(
        string="Progress",
        compute="_compute_spell_progress",
        help="The share of the model's records whose spells are computed, in percent.",
    )
    spell_status = fields.Char(
        string="Status",
        compute="_compute_spell_progress",
        help="Where the computation of the spells stands, and when it will be done.",
    )
    _spell_progress_fields = ("spell_state", "spell_background", "spell_total", "spell_done",
                              "spell_started_at", "spell_finished_at", "spell_sweep_model",
                              "spell_sweep_id", "spell_sweep_count")

    _sql_constraints = [
        ("model_id_unique", "unique(model_id)", "model_id must be unique"),
    ]

    @api.depends("model_id")
    @api.depends_context("uid", "allowed_company_ids")
    def _compute_record_count(self):
        """Count as the reader: the records that the reader's access rights
        and record rules let them read, and none of a model that the reader
        may not read at all."""
        for config in self:
            # stored on the configuration: readers who may not read ir.model
            # (internal users) read it too
            model_name = config.model_name
            if not model_name or not self.env["ir.model"]._spell_can_store(model_name):
                config.record_count = 0
                continue
            model = self.env[model_name].with_context(active_test=False)
            if model.check_access_rights("read", raise_exception=False):
                config.record_count = model.search_count([])
            else:
                config.record_count = 0

    @api.depends("spell_state", "spell_background", "spell_total", "spell_done",
                 "spell_started_at", "spell_finished_at")
    def _compute_spell_progress(self):
        now = fields.Datetime.now()
        for config in self:
            if config.spell_state != "computing":
                config.spell_progress = 100.0
            elif config.spell_total:
                config.spell_progress = min(100.0, 100.0 * config.spell_done / config.spell_total)
            else:
                config.spell_progress = 0.0
            config.spell_status = config._spell_status_text(now)

    def _spell_status_text(self, now):
        """Where the computation of the spells stands, in words."""
        total = "{:,}".format(self.spell_total)
        if self.spell_state == "computing":
            if not self.spell_total:
                return _("Computing the spells in the background: counting the records.")
            done = "{:,}".format(min(self.spell_done, self.spell_total))
            elapsed = (now - self.spell_started_at).total_seconds() if self.spell_started_at else 0
            if not self.spell_done or elapsed <= 0:
                return _("Computing the spells in the background: %(done)s of %(total)s "
                         "records.", done=done, total=total)
            left = max(self.spell_total - self.spell_done, 0) * elapsed / self.spell_done
            return _("Computing the spells in the background: %(done)s of %(total)s records, "
                     "done in about %(left)s. Meanwhile the records are read, searched and "
                     "saved as usual, and search by pinyin finds those already computed.",
                     done=done, total=total, left=self._spell_duration_text(left))
        if not self.spell_started_at:
            return _("Ready: every record has its spells.")
        if self.spell_background:
            elapsed = (self.spell_finished_at - self.spell_started_at).total_seconds()
            return _("Ready: the spells of %(total)s records were computed in the "
                     "background, in %(duration)s.",
                     total=total, duration=self._spell_duration_text(elapsed))
        return _("Ready: the spells of %(total)s records were computed while enabling.",
                 total=total)

    @api.model
    def _spell_duration_text(self, seconds):
        seconds = max(int(round(seconds)), 1)
        if seconds < 60:
            return _("%(seconds)d s", seconds=seconds)
        if seconds < 3600:
            return _("%(minutes)d min %(seconds)d s", minutes=seconds // 60, seconds=seconds % 60)
        return _("%(hours)d h %(minutes)d min", hours=seconds // 3600,
                 minutes=seconds % 3600 // 60)

    def _set_spell_progress(self, values, count=None):
        """Write where the computation of these configurations' spells
        stands: bookkeeping of the addon's own, written as such (neither
        the checks of a configuration's write nor its write date).  With
        ``count``, only rows still computing the computation of that number
        are written; returns whether every row was."""
        if not self:
            return True
        self.flush_recordset(list(values))
        columns = list(values)
        query = "UPDATE lumq_spell_config SET %s WHERE id IN %%s" % ", ".join(
            f'"{name}" = %s' for name in columns)
        params = [values[name] for name in columns] + [tuple(self.ids)]
        if count is not None:
            query += " AND spell_state = 'computing' AND spell_sweep_count = %s"
            params.append(count)
        self.env.cr.execute(query, params)
        written = self.env.cr.rowcount == len(self)
        self.invalidate_recordset(list(values) + ["spell_progress", "spell_status"])
        return written

    @api.model
    def _spell_computation_started(self, model_names, background, done=0):
        """Note on the configurations of the models that their spells are
        being computed: in the background, or (``background`` False) done
        already, ``done`` records in all."""
        configs = self.sudo().search([("model_name", "in", list(model_names))])
        now = fields.Datetime.now()
        for config in configs:
            config._set_spell_progress({
                "spell_state": "computing" if background else "ready",
                "spell_background": background,
                "spell_total": 0 if background else done,
                "spell_done": done,
                "spell_started_at": now,
                "spell_finished_at": None if background else now,
                "spell_sweep_model": None,
                "spell_sweep_id": 0,
                "spell_sweep_count": config.spell_sweep_count + 1,
            })
        return configs

    @api.model
    def _spell_sweeping_models(self):
        """The names of the models whose spells are being computed in the
        background, with the models that share their spell fields (none
        before the configuration's table has the column that says it)."""
        if not sql.column_exists(self.env.cr, self._table, "spell_state"):
            return set()
        names = self.sudo().search([("spell_state", "=", "computing")]).mapped("model_name")
        return set(self.pool.descendants([name for name in names if name in self.pool],
                                         "_inherit", "_inherits"))

    # Computing in the background: records a batch (each committed on its
    # own), seconds between two notes of the position, and tries of a batch
    # that meets a concurrent change.
    _spell_sweep_batch = 2000
    _spell_sweep_note_interval = 5
    _spell_sweep_tries = 5

    @api.model
    def _run_spell_sweeps(self, deadline):
        """Compute, until the ``time.monotonic()`` deadline, the spells of
        the models being enabled in the background; returns whether some
        are left."""
        left = False
        for config in self.sudo().search([("spell_state", "=", "computing")], order="id"):
            if time.monotonic() >= deadline:
                return True
            left |= config._sweep_spells(deadline)
        return left

    def _spell_sweep_tables(self):
        """The models whose tables the computation of this configuration's
        spells goes through, in order; None when this process's models do
        not match the configuration (another process changed it since this
        one set its models up)."""
        if self.model_name not in self.env:
            return None
        model = self.env[self.model_name]
        # the registry's spell classes follow the marks of ir.model
        marks = self.model_id
        if not isinstance(model, self.pool["lumq_spell.spell_mixin"]) or (
                (model._spell_rec_name or False) != (marks.spell_field_name or False)
                or bool(model._spell_search_as_typed) != bool(marks.spell_search_as_typed)
                or (model._spell_fuzzy_pairs or False) != (marks.spell_fuzzy_pairs or False)):
            return None
        names = self.pool.descendants([self.model_name], "_inherit", "_inherits")
        return sorted(name for name in names
                      if self.env["ir.model"]._spell_stored_in(self.env[name]))

    def _sweep_spells(self, deadline):
        """Compute the spells of this configuration's models a batch at a
        time, each batch committed on its own, from where the last run
        stopped, until the deadline; then make the tables ready.  Returns
        whether work is left.  A batch that meets a concurrent change of its
        records is tried again; a configuration changed or deleted meanwhile
        (another computation started, the model disabled) stops this one."""
        self.ensure_one()
        cr = self.env.cr
        count = self.spell_sweep_count
        tables = self._spell_sweep_tables()
        if tables is None:
            # this process's registry is older than the configuration: the
            # next periodic run, with the registry built anew, goes on
            return False
        if not self.spell_total:
            total = 0
            for name in tables:
                cr.execute(f'SELECT count(*) FROM "{self.env[name]._table}"')
                total += cr.fetchone()[0]
            if not self._set_spell_progress({"spell_total": total}, count):
                return False
            self._commit_spell_batch()
        name = self.spell_sweep_model if self.spell_sweep_model in tables else None
        last_id = self.spell_sweep_id if name else 0
        name = name or (tables[0] if tables else None)
        done = self.spell_done
        noted = time.monotonic()
        while name:
            model = self.env[name].sudo().with_context(active_test=False)
            cr.execute(f'SELECT id FROM "{model._table}" WHERE id > %s ORDER BY id LIMIT %s',
                       [last_id, self._spell_sweep_batch])
            ids = [row[0] for row in cr.fetchall()]
            if not ids:
                following = tables[tables.index(name) + 1:]
                name, last_id = (following[0] if following else None), 0
                continue
            if not self._store_spell_batch(model, ids, count):
                return False
            last_id, done = ids[-1], done + len(ids)
            now = time.monotonic()
            if now >= deadline or now - noted >= self._spell_sweep_note_interval:
                noted = now
                if not self._set_spell_progress({"spell_sweep_model": name,
                                                 "spell_sweep_id": last_id,
                                                 "spell_done": done}, count):
                    self._rollback_spell_batch()
                    return False
            self._commit_spell_batch()
            if now >= deadline:
                return True
        # every record is done: the next runs, until the tables are ready,
        # start from the end
        if tables and not self._set_spell_progress(
                {"spell_sweep_model": tables[-1], "spell_sweep_id": last_id or self.spell_sweep_id,
                 "spell_done": done}, count):
            return False
        self._finish_spell_sweep(tables, done, count)
        return False

    def _store_spell_batch(self, model, ids, count):
        """Store the spells of one batch, trying again when a concurrent
        change of the records makes it fail; False when the computation is
        no longer this configuration's current one."""
        cr = self.env.cr
        for attempt in range(self._spell_sweep_tries):
            cr.execute("SELECT 1 FROM lumq_spell_config WHERE id = %s AND spell_state = "
                       "'computing' AND spell_sweep_count = %s", [self.id, count])
            if not cr.fetchone():
                return False
            if spell_sql.on_postgresql(cr) and self._spell_batches_commit():
                # A batch lost in a crash is computed again from the noted
                # position, which is committed with it: the commit need not
                # wait for the disk.
                cr.execute("SET LOCAL synchronous_commit = off")
            try:
                with cr.savepoint(flush=False):
                    model._store_spells(ids, log_exceptions=False)
                return True
            except Exception as error:
                # serialization_failure, deadlock_detected
                if (getattr(error, "pgcode", None) not in ("40001", "40P01")
                        or not self._spell_batches_commit()
                        or attempt + 1 == self._spell_sweep_tries):
                    raise
                # a fresh snapshot sees the concurrent change
                self._rollback_spell_batch()
                time.sleep(0.1 * (attempt + 1))
        return False

    def _spell_batches_commit(self):
        """Whether the background computation commits its batches: not in
        tests, whose transaction is rolled back at their end."""
        return not (tools.config["test_enable"] or modules.module.current_test
                    or self.env.registry.in_test_mode())

    def _commit_spell_batch(self):
        if self._spell_batches_commit():
            self.env.cr.commit()

    def _rollback_spell_batch(self):
        if self._spell_batches_commit():
            self.env.cr.rollback()
            self.env.invalidate_all(flush=False)

    def _finish_spell_sweep(self, tables, done, count):
        """Make the swept tables ready (their indexes, then the rows to
        compute: records whose source another process changed meanwhile) and
        note that all is done.  While an index is being built, nothing is
        noted: its builder has the upkeep run again."""
        for name in tables:
            model = self.env[name].sudo()
            if not self._spell_index_ready(model):
                return
            model._compute_missing_spells()
            model._prepare_spell_option_indexes()
        if self._set_spell_progress({
            "spell_state": "ready",
            "spell_done": done,
            "spell_total": max(done, self.spell_total),
            "spell_finished_at": fields.Datetime.now(),
            "spell_sweep_model": None,
            "spell_sweep_id": 0,
        }, count):
            self._commit_spell_batch()

    def _spell_index_ready(self, model):
        """Whether the model's table has every index of its spells (that of
        the rows to compute, those of the rows with capitals), valid.  On a
        server, those missing are built concurrently once this transaction is
        committed (False then): an index built in this transaction would keep
        every writer of the table waiting while it reads the whole table."""
        cr = self.env.cr
        model._prepare_spell_table(index=False)
        if not (spell_sql.on_postgresql(cr) and self._spell_batches_commit()):
            return model._prepare_spell_table()
        missing = [index for index in spell_sql.spell_table_indexes(cr, model._table)
                   if not spell_sql.index_state(cr, index.name)]
        if not missing:
            return True
        self.env["ir.model"]._build_spell_index_later(missing)
        # nothing of this transaction may hold the build up
        self._commit_spell_batch()
        return False

    def action_refresh_spell_progress(self):
        """Show where the computation of the spells stands now (the form
        reads the record again after a button)."""
        return True

    @api.onchange("model_id")
    def _onchange_model_id(self):
        """A source field or navbar views of another model do not apply to
        the chosen one: clear them, so that the form offers the chosen
        model's own."""
        for config in self:
            if config.spell_field_id and config.spell_field_id.model_id != config.model_id:
                config.spell_field_id = False
            views = config.spell_navbar_view_ids
            kept = views.filtered(lambda view: view.model == config.model_id.model)
            if kept != views:
                config.spell_navbar_view_ids = kept

    @tools.ormcache()
    def get_all_spell_view_view_ids(self):
        """Get all view ids."""
        return self.env["lumq_spell.config"].search([]).mapped("spell_navbar_view_ids").ids

    def dislay_spell_navbar(self, model_id, view_id):
        """Display the spell navbar."""
        # A display setting that every list view asks for: read it with
        # superuser rights, so that no user's list views fail on it.
        configs = self.sudo()
        if view_id in configs.get_all_spell_view_view_ids():
            return True
        config = configs.search([("model_id", "=", model_id)], limit=1)
        if config.show_spell_navbar:
            return True
        return False

    def _prepare_spell_option_indexes(self):
        """Keep the indexes of the configured model's options, when its own
        table holds the spells (not while its records are computed in the
        background: the computation's end makes them)."""
        self.ensure_one()
        if (self.model_name in self.env and self.spell_state != "computing"
                and self.env["ir.model"]._spell_stored_in(self.env[self.model_name])):
            self.env[self.model_name].sudo()._prepare_spell_option_indexes()

    @api.model
    def _spell_letter_counts(self, model_name):
        """Whether the letter bars of the model's views show how many
        records each letter has: read with superuser rights, as the navbar
        decision, so that users who may not read the configuration get
        their bar too."""
        config = self.sudo().search([("model_name", "=", model_name)], limit=1)
        return config.show_letter_counts

    @api.constrains("model_id", "spell_field_id")
    def _check_spell_field(self):
        for config in self:
            field = config.spell_field_id
            if field and field.model_id != config.model_id:
                raise ValidationError(_(
                    "The spell field %(field)s is a field of %(model)s, not of "
                    "%(configured)s: choose a field of the configured model.",
                    field=field.name, model=field.model, configured=config.model_name,
                ))
            if field.ttype in ("one2many", "many2many"):
                # each reader sees only the linked records they may read, and
                # stored spells would name them all to everyone
                raise ValidationError(_(
                    "The spell field %(field)s lists several records: choose a text field, "
                    "or a field that links to one record.",
                    field=field.name,
                ))

    def _lock_models(self, model_ids):
        """Lock the ir.model rows of the models about to be enabled, or refuse
        at once with a clear error while another transaction holds them (it
        is enabling the same model) or changed them since this transaction
        began (it enabled the model and committed meanwhile); waiting would
        let the two transactions deadlock on the tables that enabling alters.

        The lock is the one that an update of the row's non-key columns
        takes: transactions that insert rows referring to the model (an
        attachment, a message, an access right) share the row's key and do
        not conflict with it."""
        model_ids = tuple(model_id for model_id in model_ids if model_id)
        if not model_ids:
            return
        try:
            with self.env.cr.savepoint(flush=False):
                # a refusal is expected here: not an error for the server log
                self.env.cr.execute(
                    "SELECT id FROM ir_model WHERE id IN %s FOR NO KEY UPDATE NOWAIT", [model_ids],
                    log_exceptions=False,
                )
        except Exception as error:
            # lock_not_available, serialization_failure
            if getattr(error, "pgcode", None) not in ("55P03", "40001"):
                raise
            names = ", ".join(self.env["ir.model"].browse(model_ids).mapped("model"))
            raise UserError(_(
                "Spell search is being changed for %(models)s by another user right now; "
                "try again in a moment.",
                models=names,
            )) from None

    def _check_not_configured(self, model_ids):
        """Refuse models that have a configuration already, other than these
        records, or that are given more than once: a model has one
        configuration.  Called once the models are locked, so that an
        enabling that another transaction committed is seen here, with a
        clear message, rather than by the unique index."""
        model_ids = [model_id for model_id in model_ids if model_id]
        twice = {model_id for model_id in model_ids if model_ids.count(model_id) > 1}
        configured = self.search([("model_id", "in", model_ids), ("id", "not in", self.ids)])
        refused = configured.mapped("model_id") | self.env["ir.model"].browse(sorted(twice))
        if refused:
            raise ValidationError(_(
                "Spell search is already enabled for %(models)s: a model has one spell "
                "configuration; change that one instead.",
                models=", ".join(refused.mapped("model")),
            ))

    def _without_progress_values(self, vals):
        """The values without those given for the progress of the spells:
        the addon alone notes where their computation stands."""
        return {name: value for name, value in vals.items()
                if name not in self._spell_progress_fields}

    @api.model_create_multi
    @restores_registry
    def create(self, vals_list):
        """Override the create method."""
        vals_list = [self._without_progress_values(vals) for vals in vals_list]
        for vals in vals_list:
            self._check_spell_model(vals.get("model_id"))
        model_ids = [vals.get("model_id") for vals in vals_list]
        self._lock_models(model_ids)
        self._check_not_configured(model_ids)
        records = super(LumqSpellConfig, self).create(vals_list)
        # refuse what cannot be extended before any model is marked
        for record in records:
            record._get_search_view_extensions()
        for record in records:
            record.model_id._write_spell_marks(record._spell_marks())
            record._extend_search_view()
        self.env.registry.clear_cache()
        return records

    @restores_registry
    def write(self, vals):
        """Override the write method."""
        vals = self._without_progress_values(vals)
        if "model_id" in vals:
            self._check_spell_model(vals["model_id"])
            self._lock_models([vals["model_id"]])
            self._check_not_configured([vals["model_id"]] * len(self))
        old_model_ids = self.mapped("model_id").ids
        result = super(LumqSpellConfig, self).write(vals)
        if self.env.context.get("ignore_extend_search_view") is INTERNAL_SWITCH:
            return result
        # refuse what cannot be extended before any model is marked
        for record in self:
            record._get_search_view_extensions()
        records = self.search([])
        new_model_ids = records.mapped("model_id").ids
        del_ids = [model_id for model_id in old_model_ids if model_id not in new_model_ids]
        for model in self.env["ir.model"].browse(del_ids):
            model._write_spell_marks(self._spell_marks_off)
        # Only a change of model, field or of what the records store (search
        # as typed, the pairs of fuzzy pinyin) concerns the records: the
        # written configurations' models are marked, which computes their
        # spells; the other configured models keep theirs as they are.  A
        # change of the order alone computes nothing.
        fuzzy = any(name in vals for name in self._spell_fuzzy_fields())
        for record in self:
            if ("model_id" in vals or "spell_field_id" in vals or "search_as_typed" in vals
                    # the folded spells follow the pairs: computed again when they change
                    or fuzzy and (record.model_id.spell_fuzzy_pairs or False)
                    != record._spell_fuzzy_mark()):
                record.model_id._write_spell_marks(record._spell_marks())
            elif "pinyin_order" in vals:
                record.model_id._write_spell_marks({"spell_pinyin_order": record.pinyin_order})
        for record in self.with_context({"ignore_extend_search_view": INTERNAL_SWITCH}):
            record._extend_search_view()
        if "show_letter_counts" in vals:
            # the letter counts read an index of the first spells
            for record in self:
                record._prepare_spell_option_indexes()
        self.env.registry.clear_cache()
        return result

    @restores_registry
    def unlink(self):
        """unlink"""
        self.extended_search_view_ids = [(2, view_id) for view_id in self.mapped("extended_search_view_ids").ids]
        for record in self:
            record.model_id._write_spell_marks(self._spell_marks_off)
        result = super(LumqSpellConfig, self).unlink()
        self.env.registry.clear_cache()
        self.pool.setup_models(self._cr)
        return result

    def _spell_marks(self):
        """The values of the spell columns of the configured model's ir.model
        row, from which every process builds the model's spell class."""
        self.ensure_one()
        return {
            "is_spell_attached": True,
            "spell_field_name": self.spell_field_name,
            "spell_search_as_typed": self.search_as_typed,
            "spell_pinyin_order": self.pinyin_order,
            "spell_fuzzy_pairs": self._spell_fuzzy_mark(),
        }

    @api.model
    def _spell_fuzzy_fields(self):
        """The option of fuzzy pinyin and the fields of its pairs, by pair."""
        return ["fuzzy_pinyin"] + ["fuzzy_" + key for key in spell_fuzzy.PAIRS]

    def _spell_fuzzy_mark(self):
        """The pairs of fuzzy pinyin of the model's ir.model row: the keys of
        those chosen, False while the option is off or none is chosen."""
        self.ensure_one()
        if not self.fuzzy_pinyin:
            return False
        return spell_fuzzy.pairs_of(key for key in spell_fuzzy.PAIRS if self["fuzzy_" + key]) or False

    # the spell columns of a model that is no longer configured
    _spell_marks_off = {"is_spell_attached": False, "spell_search_as_typed": False,
                        "spell_pinyin_order": False, "spell_fuzzy_pairs": False}

    def _check_spell_model(self, model_id):
        """Refuse a model that spell search cannot be enabled on: the model
        picker offers exactly the others."""
        self._check_spell_storage(model_id)
        model_name = self.env["ir.model"].browse(model_id).model
        if self.env["ir.model"]._spell_is_technical(model_name):
            raise ValidationError(_(
                "Spell search cannot be enabled on %(model)s, one of the server's own "
                "technical models (models, fields, XML ids, modules, actions): the server "
                "reads and writes them by itself while it loads its models.",
                model=model_name,
            ))

    def _check_spell_storage(self, model_id):
        """Refuse a configuration without a model, or for a model that cannot
        store the spell fields."""
        if not model_id:
            raise ValidationError(_("A spell configuration needs a model: the field 'Model' is empty."))
        model_name = self.env["ir.model"].browse(model_id).model
        if model_name.startswith("lumq_spell."):
            raise ValidationError(_(
                "Spell search cannot be enabled on %(model)s, a model of the spell feature itself.",
                model=model_name,
            ))
        if model_name in self.env and not self.env["ir.model"]._spell_can_store(model_name):
            raise ValidationError(_(
                "Spell search cannot be enabled on %(model)s: a transient or abstract "
                "model, or one backed by an SQL view or query, cannot store the spell "
                "fields.",
                model=model_name,
            ))

    def _extend_search_view(self):
        """Extend the search view."""
        self = self.with_context({"ignore_extend_search_view": INTERNAL_SWITCH})
        # a configuration that an earlier version made for a model refused
        # now is rebuilt as long as it exists, and can be deleted
        self._check_spell_storage(self.model_id.id)
        self.extended_search_view_ids = [(2, view_id) for view_id in self.extended_search_view_ids.ids]
        for values in self._get_search_view_extensions():
            new_view = self.env["ir.ui.view"].create(values)
            self.extended_search_view_ids = [(4, new_view.id)]

    def _get_search_view_extensions(self):
        """Return the values of the views that extend the model's search
        views for this configuration, in order; views are read, nothing is
        written.  Enabling also calls it before it marks the model, so that a
        search view that cannot be extended refuses the configuration before
        the registry changes: a spell class, once added, stays in the server
        process until it restarts."""
        extensions = []
        if self.model_name not in self.env:
            return extensions
        search_views = self.env["ir.ui.view"].search([
            ("model", "=", self.model_name),
            ("type", "=", "search"),
        ]) - self.extended_search_view_ids
        target_model = self.env[self.model_name]
        target_rec_name = self.spell_field_name or target_model._rec_name or "name"
        if target_rec_name not in target_model._fields:
            return extensions
        view_name = f"{self.model_name} search view spell extend"
        indent = " " * 20
        _self = DynamicVariable("self")
        spell_leaves = [("lumq_full_spell", "ilike", _self), ("lumq_simple_spell", "ilike", _self)]
        if self.search_as_typed:
            spell_leaves.append(("lumq_spell_typed", "ilike", _self))
        if self._spell_fuzzy_mark():
            spell_leaves.append(("lumq_spell_fuzzy", "ilike", _self))
        spell_domain = ["|"] * (len(spell_leaves) - 1) + spell_leaves
        for view in search_views:
            if view.inherit_id:
                continue
            doc = etree.fromstring(view.arch_db)
            target_field = doc.xpath(f"//field[@name='{target_rec_name}']")
            if not target_field:
                target_field = doc.xpath("//field[@name='name']")
                if target_field:
                    target_rec_name = "name"
            if not target_field:
                target_field = doc.xpath("//field[@name='x_name']")
                if target_field:
                    target_rec_name = "x_name"
            if not target_field:
                # The view has no such field: add one through an inheriting
                # view, so that deleting the configuration removes it again.
                field = etree.Element("field", {"name": target_rec_name})
                field.set("filter_domain", str(spell_domain))
                position = "inside"
                expr = "/*"
            else:
                target_field = target_field[0]
                domain = target_field.attrib.get("filter_domain") or ""
                if not domain.strip():
                    # The web client searches such a field on its own value.
                    domain = f"[('{target_rec_name}', 'ilike', self)]"
                filter_domain = domain
                pattern_general = r"(?<!['\"])\b\w+(\.\w+)*\b(?!['\"])"
                eval_context = {}
                new_domain = ""
                match = re.search(pattern_general, domain)
                while match:
                    dynamic_variable = DynamicVariable(match.group())
                    var_id = dynamic_variable.id
                    new_domain += domain[:match.start()] + var_id
                    domain = domain[match.end():]
                    eval_context[var_id] = dynamic_variable
                    match = re.search(pattern_general, domain)
                new_domain += domain
                domain = self._eval_filter_domain(new_domain, eval_context, filter_domain, view)
                domain = expression.OR([domain, spell_domain])
                field = etree.Element(target_field.tag, dict(target_field.attrib))
                field.set("filter_domain", str(domain))
                position = "replace"
                expr = f"//field[@name='{target_rec_name}']"
            extensions.append({
                "name": view_name,
                "model": self.model_name,
                "type": "search",
                "inherit_id": view.id,
                "arch": f"""<xpath expr="{expr}" position="{position}">\n{indent}{etree.tostring(field).decode("utf-8")}\n{indent}</xpath>""",
            })
        if not search_views:
            own_domain = str(["|"] + spell_domain + [(target_rec_name, "ilike", _self)])
            extensions.append({
                "name": view_name,
                "model": self.model_name,
                "type": "search",
                "arch": f"""<search>\n{indent}<field name="{target_rec_name}" filter_domain="{own_domain}"/>\n{" " * 16}</search>""",
            })
        return extensions

    @api.ondelete(at_uninstall=True)
    def _unlink_search_view(self):
        """Unlink the search view."""
        # Only the deleted records' views: the other enabled models keep their
        # search by pinyin.  An unflagged deletion rebuilds these views in its
        # first write, so they go here, also when the addon is uninstalled.
        self.env["ir.ui.view"].browse(self.mapped("extended_search_view_ids").ids).unlink()

    def _eval_filter_domain(self, new_domain, eval_context, filter_domain, view):
        """Evaluate a filter domain whose bare words were replaced by the ids
        of their DynamicVariable objects.  Only a list or tuple of lists,
        tuples, quoted texts and those ids is accepted and nothing else is
        reachable: any other domain is refused before anything runs."""
        refused = ValidationError(_(
            "Cannot add spell search to the search view '%(view)s': the filter domain "
            "%(domain)s is not a list of lists, tuples, quoted texts and plain words.",
            view=view.name, domain=filter_domain,
        ))
        try:
            tree = ast.parse(new_domain, mode="eval")
        except SyntaxError:
            raise refused from None
        if not isinstance(tree.body, (ast.List, ast.Tuple)):
            raise refused
        allowed = (ast.Expression, ast.List, ast.Tuple, ast.Constant, ast.Name, ast.Load)
        # longest first, since one id may begin with another
        var_ids = sorted(eval_context, key=len, reverse=True)
        var_ids = re.compile("|".join(map(re.escape, var_ids)) or "(?!)")
        for node in ast.walk(tree):
            if not isinstance(node, allowed) or (
                isinstance(node, ast.Name) and node.id not in eval_context
            ):
                raise refused
            if isinstance(node, ast.Constant) and isinstance(node.value, str):
                # Words inside a quoted text that no quote touches (the middle
                # of 'a.b.c', the inner words of a phrase) were replaced too:
                # give the text its words back.
                node.value = var_ids.sub(lambda match: repr(eval_context[match.group()]), node.value)
        return eval(compile(tree, "<filter_domain>", "eval"), {"__builtins__": {}, **eval_context})
