(* The samples' check keeps a fast value's truncation only where that is the plain loop's: with
   n the integer nearest to the fast value v (as the code finds it, (v + 1.5 2^52) - 1.5 2^52),
   an allowance a below one half, and n = 0 or v farther than a from n, every w within a of v
   truncates as v does. The proofs of the sample checks (sample_check.gappa,
   sample_check_single.gappa, lfo_check.gappa) show |v - w| <= a for the plain loop's
   value w; this is the step from there to the same sample.

   coqc proofs/check_soundness.v *)
From Coq Require Import Reals ZArith Psatz.
From Flocq Require Import Core.
Open Scope R_scope.

Lemma trunc_in : forall x k, (0 <= IZR k) -> IZR k <= x < IZR k + 1 -> Ztrunc x = k.
Proof.
  intros x k Hk Hx. unfold Ztrunc.
  destruct (Rlt_bool_spec x 0) as [Hneg | Hpos]; [lra |].
  apply Zfloor_imp. rewrite plus_IZR. lra.
Qed.

Lemma trunc_in_neg : forall x k, (IZR k <= 0) -> IZR k - 1 < x <= IZR k -> Ztrunc x = k.
Proof.
  intros x k Hk Hx. unfold Ztrunc.
  destruct (Rlt_bool_spec x 0) as [Hneg | Hpos].
  - apply Zceil_imp. rewrite minus_IZR. lra.
  - assert (x = 0) by lra. assert (IZR k = 0) by lra. subst x.
    apply eq_IZR in H0. subst k. apply Zfloor_IZR.
Qed.

Theorem check_sound :
  forall (v w a : R) (n : Z),
  Rabs (v - IZR n) <= 1 / 2 -> a < 1 / 2 -> Rabs (v - w) <= a ->
  (n = 0%Z \/ a < Rabs (v - IZR n)) ->
  Ztrunc v = Ztrunc w.
Proof.
  intros v w a n Hn Ha Hvw Hkeep.
  apply Rabs_le_inv in Hn. apply Rabs_le_inv in Hvw.
  destruct Hkeep as [H0 | Hfar].
  - subst n. simpl in Hn.
    destruct (Rle_lt_dec 0 v) as [Hv | Hv]; destruct (Rle_lt_dec 0 w) as [Hw | Hw].
    + rewrite (trunc_in v 0), (trunc_in w 0); try reflexivity; simpl; lra.
    + rewrite (trunc_in v 0), (trunc_in_neg w 0); try reflexivity; simpl; lra.
    + rewrite (trunc_in_neg v 0), (trunc_in w 0); try reflexivity; simpl; lra.
    + rewrite (trunc_in_neg v 0), (trunc_in_neg w 0); try reflexivity; simpl; lra.
  - assert (Hn0 : n <> 0%Z \/ n = 0%Z) by lia.
    destruct (Rle_lt_dec (IZR n) v) as [Hup | Hdown].
    + (* v above n: both in (n, n + 1) *)
      assert (Hv : IZR n < v) by (destruct (Req_dec v (IZR n)) as [E|E];
        [rewrite E, Rminus_diag_eq, Rabs_R0 in Hfar by reflexivity; lra | lra]).
      rewrite Rabs_pos_eq in Hfar by lra.
      destruct (Z_le_gt_dec 0 n) as [Hp | Hm].
      * apply IZR_le in Hp. rewrite (trunc_in v n), (trunc_in w n); try reflexivity; lra.
      * assert (Hm' : (n + 1 <= 0)%Z) by lia. apply IZR_le in Hm'. rewrite plus_IZR in Hm'.
        rewrite (trunc_in_neg v (n + 1)), (trunc_in_neg w (n + 1)); rewrite ?plus_IZR; try reflexivity; simpl; lra.
    + (* v below n: both in (n - 1, n) *)
      rewrite Rabs_left in Hfar by lra.
      destruct (Z_le_gt_dec 1 n) as [Hp | Hm].
      * assert (Hp' : (0 <= n - 1)%Z) by lia. apply IZR_le in Hp'. rewrite minus_IZR in Hp'.
        rewrite (trunc_in v (n - 1)), (trunc_in w (n - 1)); rewrite ?minus_IZR; try reflexivity; simpl; lra.
      * assert (Hm' : (n <= 0)%Z) by lia. apply IZR_le in Hm'.
        rewrite (trunc_in_neg v n), (trunc_in_neg w n); try reflexivity; lra.
Qed.
